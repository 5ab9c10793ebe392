#pragma once

#include <windows.h>

#include "WideString.h"

// Where an open file or folder really lies, links and junctions on the way followed, in
// DOS form with the letters A-Z folded; empty when the system cannot tell.
CWideString FinalPathOf(HANDLE handle);

// A handle's final path (VOLUME_NAME_DOS) in the form in which the system names a
// process's image: without the extended-length prefix, "\\?\UNC\server\share\..." as
// "\\server\share\..."; a native "\Device\..." path stays as it is.
CWideString ImageFormOfFinalPath(const CWideString& finalPath);

// True when `process` was started from the file `image` holds open: the process's image
// path names the same file as the handle's final path. Both are read now, after the start,
// so that a folder on the way renamed since then shows as a difference. Compared in DOS
// form, and else in the system's native form.
bool ProcessRunsImage(HANDLE process, HANDLE image);

// True when `path` names a place on a drive of this machine's own fixed disks: a drive
// letter ("C:\...", also as "\\?\C:\...") whose GetDriveTypeW is DRIVE_FIXED. A UNC path,
// "\\?\UNC\..." included, a device path, a relative path, and a mapped network, removable
// or optical drive are not.
bool LiesOnLocalFixedDrive(const CWideString& path);

// True when the open file or folder lies on a local fixed volume: its final path does (a
// link on the way to a share shows there), and the file system names no remote protocol
// for it. On a remote file system the server decides what each later open reads, whatever
// was checked before.
bool HandleLiesOnLocalFixedVolume(HANDLE handle);
