#pragma once

// True when the file at `path` is a PE image whose header checksum is set and equals the
// checksum of the file's contents: a truncated or corrupted copy fails.
bool VerifyOwnImage(const wchar_t* path);
