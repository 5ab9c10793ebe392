#!/usr/bin/env bash
# Prints "32" when this machine's kernel runs 32-bit x86 programs (and Wine's 32-bit loader
# starts), "64" when the kernel refuses them (ENOEXEC: its 32-bit emulation is off), found
# out by starting a tiny static i386 program made here. Any other outcome is an error, exit 1:
# nothing falls back to the 64-bit path quietly.
set -euo pipefail

work="$(mktemp -d "${TMPDIR:-/tmp}/ravelnest-kernel.XXXXXX")"
trap 'rm -rf "$work"' EXIT
kind="$(python3 - "$work/exit32" <<'PYTHON'
import errno, os, struct, subprocess, sys

# An ELF32 i386 program of one loadable segment whose code is exit(32), through int 0x80.
code = bytes.fromhex("b801000000" "bb20000000" "cd80")
base, size = 0x08048000, 52 + 32 + len(code)
header = b"\x7fELF\x01\x01\x01" + bytes(9) + struct.pack(
    "<HHIIIIIHHHHHH", 2, 3, 1, base + 84, 52, 0, 0, 52, 32, 1, 0, 0, 0)
segment = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
with open(sys.argv[1], "wb") as program:
    program.write(header + segment + code)
os.chmod(sys.argv[1], 0o755)
try:
    status = subprocess.run([sys.argv[1]]).returncode
except OSError as error:
    if error.errno == errno.ENOEXEC:
        print("64")
        sys.exit(0)
    sys.exit(f"kernel-code: the 32-bit probe could not start: {error}")
if status != 32:
    sys.exit(f"kernel-code: the 32-bit probe ended with {status}, not 32")
print("32")
PYTHON
)"
if [ "$kind" = 32 ] && [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "kernel-code: the kernel runs 32-bit programs, but Wine's 32-bit loader does not start" >&2
  exit 1
fi
echo "$kind"
