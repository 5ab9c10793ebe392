#!/usr/bin/env python3
"""Checks a built package on the host, reading its PE images here rather than through the
build's own tools (a fault shared by the stamping tool and the programs would otherwise
check itself): the image kind and hardening flags, the checksum, the load configuration's
DependentLoadFlags, the imported DLLs, the manifest, the version resource, and the digests
setup.exe records of the files it installs.
Usage: package-check.py PACKAGE_DIR VERSION"""
import hashlib
import re
import struct
import sys
from pathlib import Path

PROGRAMS = ("setup.exe", "Uninstall.exe")
INSTALLED = ("readme.txt", "Reelshifter SDK.chm")
# System DLLs only, always loaded from system32. The runtimes mingw-w64 may link dynamically
# (libstdc++, libgcc, libwinpthread) would be searched for beside the elevated program.
ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
                "oleaut32.dll", "shlwapi.dll", "bcrypt.dll", "msvcrt.dll", "comctl32.dll",
                "gdi32.dll", "ntdll.dll"}
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800
RT_VERSION, RT_MANIFEST = 16, 24


class Bad(Exception):
    pass


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise Bad("no MZ header")
        pe = u32(data, 60)
        if data[pe:pe + 4] != b"PE\0\0":
            raise Bad("no PE signature")
        self.machine, sections = struct.unpack_from("<2H", data, pe + 4)
        self.optional = pe + 24
        if u16(data, self.optional) != 0x10B:
            raise Bad(f"optional-header magic {u16(data, self.optional):#x}, not PE32 (0x10b)")
        self.checksum_at, self.directories_at = self.optional + 64, self.optional + 96
        table = self.optional + u16(data, pe + 20)
        # (address, raw size, raw offset) of each section
        self.sections = [struct.unpack_from("<3I", data, table + 40 * index + 12)
                         for index in range(sections)]

    def field(self, offset, size=4):
        return (u16 if size == 2 else u32)(self.data, self.optional + offset)

    def directory(self, index):
        return struct.unpack_from("<2I", self.data, self.directories_at + 8 * index)

    def offset(self, rva, size=1):
        """The file offset of size bytes at rva, which must lie in a section's file data."""
        for address, raw_size, raw_at in self.sections:
            if address <= rva and rva + size <= address + raw_size \
                    and raw_at + rva - address + size <= len(self.data):
                return raw_at + rva - address
        raise Bad(f"RVA {rva:#x} (+{size}) is not in any section's file data")

    def read(self, rva, size):
        at = self.offset(rva, size)
        return self.data[at:at + size]

    def resources(self, type_id):
        """The data of every resource of type_id, walking type, name and language levels."""
        if not self.directory(2)[0]:
            raise Bad("no resource directory")
        root = self.offset(self.directory(2)[0], 16)

        def entries(at):
            count = u16(self.data, at + 12) + u16(self.data, at + 14)
            for entry in range(at + 16, at + 16 + 8 * count, 8):
                name, target = struct.unpack_from("<2I", self.data, entry)
                yield name, target & 0x80000000, root + (target & 0x7FFFFFFF)

        found = []
        for name, is_directory, names in entries(root):
            if name != type_id or not is_directory:
                continue
            for _, is_directory, languages in entries(names):
                for _, is_leaf_directory, leaf in (entries(languages) if is_directory else ()):
                    if is_leaf_directory:
                        raise Bad("resource tree deeper than three levels")
                    rva, size = struct.unpack_from("<2I", self.data, leaf)
                    found.append(self.read(rva, size))
        return found


def pe_checksum(data, at):
    padded = data[:at] + b"\0\0\0\0" + data[at + 4:] + b"\0" * (len(data) % 2)
    total = sum(struct.unpack(f"<{len(padded) // 2}H", padded))
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)


def signed_parts(image):
    """The bytes an Authenticode image digest covers, the same signed or not."""
    data, entry_at = image.data, image.directories_at + 8 * 4
    certificates_at, certificates_size = image.directory(4)
    end = len(data)
    if certificates_at:
        if certificates_at + certificates_size != end or certificates_at < entry_at + 8:
            raise Bad("the certificate table is not the end of the file")
        end = certificates_at
    return (data[:image.checksum_at] + data[image.checksum_at + 4:entry_at]
            + data[entry_at + 8:end])


def check_headers(image):
    if image.machine != 0x14C:
        yield f"machine {image.machine:#x}, not i386 (0x14c)"
    if image.field(68, 2) != 2:
        yield f"subsystem {image.field(68, 2)}, not Windows GUI (2)"
    flags = image.field(70, 2)
    for bit, name in ((0x40, "DYNAMIC_BASE"), (0x100, "NX_COMPAT"),
                      (0x8000, "TERMINAL_SERVER_AWARE")):
        if not flags & bit:
            yield f"DllCharacteristics {flags:#x} lacks {name}"
    stamped, computed = u32(image.data, image.checksum_at), pe_checksum(image.data, image.checksum_at)
    if stamped == 0 or stamped != computed:
        yield f"PE checksum stamped {stamped:#x}, computed {computed:#x}"


def check_load_config(image):
    rva, _ = image.directory(10)
    if not rva:
        yield "no load configuration directory"
        return
    at = image.offset(rva, 0x38)
    size, flags = u32(image.data, at), u16(image.data, at + 0x36)  # Size; DependentLoadFlags
    if size < 0x38:
        yield f"load configuration of {size} bytes does not reach DependentLoadFlags"
    elif flags != LOAD_LIBRARY_SEARCH_SYSTEM32:
        yield f"DependentLoadFlags {flags:#x}, not LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800)"


def check_imports(image):
    names, rva = [], image.directory(1)[0]
    while rva and any(image.read(rva, 20)):
        at = image.offset(u32(image.read(rva, 20), 12))  # the descriptor's Name
        names.append(image.data[at:image.data.index(b"\0", at)].decode("ascii"))
        rva += 20
    if not names:
        yield "no imported DLL"
    for name in names:
        if name.lower() not in ALLOWED_DLLS and not name.lower().startswith("api-ms-win-"):
            yield f"imports {name}, which is not a system DLL on the allow-list"


def check_manifest(image):
    manifests = image.resources(RT_MANIFEST)
    if not manifests:
        yield "no embedded manifest"
    for manifest in manifests:
        if b'level="requireAdministrator"' not in manifest:
            yield 'the manifest does not ask for level="requireAdministrator"'
        # A side-by-side dependency lets <program>.local beside the program supply the DLL.
        if b"dependentAssembly" in manifest:
            yield "the manifest has a dependentAssembly"


def version_blocks(data, at, end):
    """(key, value, children) of each VS_VERSIONINFO-style block from at to end."""
    while at + 6 <= end:
        length, value_length, is_text = struct.unpack_from("<3H", data, at)
        if length < 6 or at + length > end:
            raise Bad(f"version block of length {length} at {at:#x} overruns its parent")
        key_end = at + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
            if key_end >= at + length:
                raise Bad("unterminated version block key")
        key = data[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        value_end = min(value_at + value_length * (2 if is_text else 1), at + length)
        yield key, data[value_at:value_end], (min((value_end + 3) & ~3, at + length), at + length)
        at = (at + length + 3) & ~3


def check_version(image, version):
    resources = image.resources(RT_VERSION)
    if len(resources) != 1:
        yield f"{len(resources)} version resources, not 1"
        return
    data = resources[0]
    (key, fixed, children), = version_blocks(data, 0, u16(data, 0))
    if key != "VS_VERSION_INFO" or len(fixed) < 52 or u32(fixed, 0) != 0xFEEF04BD:
        yield "no VS_FIXEDFILEINFO"
        return
    parts = [int(part) for part in version.split(".")] + [0]
    wanted = (parts[0] << 16 | parts[1], parts[2] << 16 | parts[3])
    for name, at in (("FileVersion", 8), ("ProductVersion", 16)):
        found = struct.unpack_from("<2I", fixed, at)
        if found != wanted:
            shown = ".".join(str(word >> shift & 0xFFFF) for word in found for shift in (16, 0))
            yield f"fixed {name} {shown}, not {version}"
    tables = [table for key, _, span in version_blocks(data, *children) if key == "StringFileInfo"
              for table in version_blocks(data, *span)]
    if not tables:
        yield "no StringFileInfo language block"
    for language, _, span in tables:
        strings = {key: value.decode("utf-16-le").split("\0")[0]
                   for key, value, _ in version_blocks(data, *span)}
        for name in ("FileVersion", "ProductVersion"):
            if strings.get(name) != version:
                yield f"string {name} in block {language} is {strings.get(name)!r}, not {version!r}"


def check_digests(setup, uninstall, contents):
    files = {name: contents[name] for name in INSTALLED}
    files["Uninstall.exe's signed parts"] = signed_parts(uninstall)
    for name, content in files.items():
        count = setup.data.count(hashlib.sha256(content).digest())
        if count != 1:
            yield f"the SHA-256 of {name} occurs {count} times, not once"


def main():
    if len(sys.argv) != 3 or not re.fullmatch(r"\d+(\.\d+){2,3}", sys.argv[2]) or \
            any(int(part) > 0xFFFF for part in sys.argv[2].split(".")):
        sys.exit("usage: package-check.py PACKAGE_DIR VERSION (as 1.2.3 or 1.2.3.4)")
    package, version = Path(sys.argv[1]), sys.argv[2]
    failures, checks = [], 0

    def run(name, check, *arguments):
        nonlocal checks
        checks += 1
        try:
            failures.extend(f"{name}: {failure}" for failure in check(*arguments))
        except (Bad, struct.error, ValueError) as error:
            what = check.__name__.removeprefix("check_").replace("_", " ")
            failures.append(f"{name}: {what} cannot be read ({error})")

    contents, images = {}, {}
    for name in PROGRAMS + INSTALLED:
        try:
            contents[name] = (package / name).read_bytes()
            if name in PROGRAMS:
                images[name] = Image(contents[name])
        except OSError as error:
            failures.append(f"{name}: missing ({error.strerror})")
        except (Bad, struct.error, ValueError) as error:
            failures.append(f"{name}: not a PE32 image ({error})")
    for name, image in images.items():
        for check in (check_headers, check_load_config, check_imports, check_manifest):
            run(name, check, image)
        run(name, check_version, image, version)
    if len(images) == len(PROGRAMS) and all(name in contents for name in INSTALLED):
        run("setup.exe", check_digests, images["setup.exe"], images["Uninstall.exe"], contents)
    for failure in failures:
        print(failure)
    if failures:
        return 1
    print(f"package-check: {package}: all {checks} checks passed for version {version}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
