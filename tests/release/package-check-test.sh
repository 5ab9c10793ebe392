#!/usr/bin/env bash
# Runs package-check.py on the built package, which must pass, then on copies with one fault
# each, which must each fail: a byte changed in either program, in the readme or in the help
# file, and a setup.exe whose manifest takes a side-by-side dependency (rewritten in place
# and restamped, so that only the manifest check can see it). A copy whose Uninstall.exe is
# signed must still pass: the digest setup records leaves out what a signature changes.
# Usage: package-check-test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail

source_dir="$1" build="$2"
check="$source_dir/tests/release/package-check.py"
package="$build/package/ReelshifterSDK"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ -n "$version" ] || { echo "no CMAKE_PROJECT_VERSION in $build/CMakeCache.txt"; exit 1; }
python3 "$check" "$package" "$version" || { echo "the built package fails the check"; exit 1; }

work="$build/package-check-test"  # left behind when the test fails, for a look at the copies
rm -rf "$work"
mkdir -p "$work"
cd "$work"

u16() { od -An -tu2 -j "$2" -N2 "$1" | tr -d ' '; }
u32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
put() { dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }  # put FILE OFFSET < BYTES
flip() {  # flip FILE OFFSET: one byte changed
  local byte
  byte="$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')"
  printf "$(printf '\\%03o' $((byte ^ 0x5A)))" | put "$1" "$2"
}
in_section() {  # in_section PROGRAM: an offset inside the first section's data
  local header
  header="$(u32 "$1" 60)"
  echo $(($(u32 "$1" $((header + 24 + $(u16 "$1" $((header + 20))) + 20))) + 256))
}
restamp() {  # restamp PROGRAM: the PE checksum made right for the changed image
  local computed at
  computed="$("$source_dir/tests/release/pe-checksum.sh" "$1" | sed -n 's/.*, computed //p' || true)"
  [ -n "$computed" ] || return 0
  at=$(($(u32 "$1" 60) + 24 + 64))
  printf "$(printf '\\%03o' $((computed & 255)) $((computed >> 8 & 255)) $((computed >> 16 & 255)) \
      $((computed >> 24 & 255)))" | put "$1" "$at"
}
variant() { cp -r "$package" "$1"; }

status=0
expect_failure() {  # expect_failure VARIANT [PATTERN]: the check fails, every line matching PATTERN
  local output result=0
  output="$(python3 "$check" "$1" "$version")" || result=$?
  printf '%s\n' "$output" | sed "s|^|$1: |"
  if [ "$result" -ne 1 ] || [ -z "$output" ]; then
    echo "$1: the check did not fail (exit $result)"; status=1
  elif [ -n "${2:-}" ] && grep -qv -- "$2" <<<"$output"; then
    echo "$1: a failure other than $2"; status=1
  fi
}

variant setup-byte
flip setup-byte/setup.exe "$(in_section setup-byte/setup.exe)"
expect_failure setup-byte

# Restamped, so only the digest setup records can tell.
variant uninstall-byte
flip uninstall-byte/Uninstall.exe "$(in_section uninstall-byte/Uninstall.exe)"
restamp uninstall-byte/Uninstall.exe
expect_failure uninstall-byte "Uninstall.exe's signed parts"

variant readme-byte
flip readme-byte/readme.txt $(($(stat -c %s readme-byte/readme.txt) / 2))
expect_failure readme-byte

variant help-byte
flip "help-byte/Reelshifter SDK.chm" $(($(stat -c %s "help-byte/Reelshifter SDK.chm") / 2))
expect_failure help-byte

# The manifest's <assembly> element replaced by one of the same length that also asks for
# Common Controls side by side.
variant manifest
program=manifest/setup.exe
starts="$(LC_ALL=C grep -obUa '<assembly ' "$program" | cut -d: -f1)"
ends="$(LC_ALL=C grep -obUa '</assembly>' "$program" | cut -d: -f1)"
if [ "$(wc -w <<<"$starts")" != 1 ] || [ "$(wc -w <<<"$ends")" != 1 ]; then
  echo "setup.exe holds no single <assembly> element to rewrite"; exit 1
fi
length=$((ends + 11 - starts))
manifest='<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">'\
'<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"><security><requestedPrivileges>'\
'<requestedExecutionLevel level="requireAdministrator"/></requestedPrivileges></security>'\
'</trustInfo><dependency><dependentAssembly><assemblyIdentity type="win32" '\
'name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="*" '\
'publicKeyToken="6595b64144ccf1df" language="*"/></dependentAssembly></dependency></assembly>'
[ "${#manifest}" -le "$length" ] || { echo "setup.exe's manifest is too short to rewrite"; exit 1; }
printf '%-*s' "$length" "$manifest" | put "$program" "$starts"
restamp "$program"
expect_failure manifest "manifest has a dependentAssembly"

# Signed as a release signs it: a certificate table appended and the checksum restamped.
variant signed
openssl req -x509 -newkey rsa:2048 -sha256 -days 7 -nodes -subj "/CN=Ravelnest Test Signing" \
    -addext "extendedKeyUsage=codeSigning" -keyout key.pem -out cert.pem 2>/dev/null
osslsigncode sign -certs cert.pem -key key.pem -in signed/Uninstall.exe -out Uninstall-signed.exe \
    >/dev/null
mv Uninstall-signed.exe signed/Uninstall.exe
if ! python3 "$check" signed "$version" | sed 's/^/signed: /'; then
  echo "signed: a signed Uninstall.exe fails the check"; status=1
fi

[ "$status" -eq 0 ] || exit 1
cd /
rm -rf "$work"
echo "package-check-test: the package passes; each faulty copy fails, the signed one passes"
