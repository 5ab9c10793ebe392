#!/usr/bin/env bash
# Signs a copy of the built package with a throwaway self-signed certificate, both ways the
# signing script takes credentials, prepares programs whose checksum a signer left stale or
# with one byte changed, and runs the Windows checks of them (signing_test.exe) under Wine.
# Usage: signing-test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail

source_dir="$1" build="$2"
work="$build/signing-test"
rm -rf "$work"
mkdir -p "$work"
cd "$work"

openssl req -x509 -newkey rsa:2048 -sha256 -days 7 -nodes -subj "/CN=Ravelnest Test Signing" \
    -keyout key.pem -out cert.pem 2>/dev/null
printf 'throwaway\n' > password.txt
openssl pkcs12 -export -inkey key.pem -in cert.pem -out signing.pfx -passout file:password.txt

cp -r "$build/package/ReelshifterSDK" signed
cp -r "$build/package/ReelshifterSDK" signed-pkcs12
"$source_dir/tools/sign-package.sh" --cert cert.pem --key key.pem --package signed
"$source_dir/tools/sign-package.sh" --pkcs12 signing.pfx --password-file password.txt --package signed-pkcs12
cmp -s signed/setup.exe "$build/package/ReelshifterSDK/setup.exe" && { echo "setup.exe was not signed"; exit 1; }
"$source_dir/tests/release/pe-checksum.sh" "$build"/package/ReelshifterSDK/{setup,Uninstall}.exe signed*/*.exe

# Offsets in the image: the optional header's checksum, and where the signature lies.
u32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
header="$(u32 signed/setup.exe 60)"
checksum_at=$((header + 24 + 64))
certificates_at="$(u32 signed/setup.exe $((header + 24 + 96 + 4 * 8)))"  # data directory 4
size="$(stat -c %s signed/setup.exe)"
flip() {  # flip FILE OFFSET: one byte changed
  local byte
  byte="$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')"
  printf "$(printf '\\%03o' $((byte ^ 0x5A)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

mkdir variants
# The checksum the unsigned image had, as a signer that does not rewrite it leaves it.
cp signed/setup.exe variants/stale.exe
dd if="$build/package/ReelshifterSDK/setup.exe" of=variants/stale.exe bs=1 skip="$checksum_at" \
    seek="$checksum_at" count=4 conv=notrunc status=none
cp variants/stale.exe variants/restamped.exe
c++ -std=c++17 -O2 -o stamp-image "$source_dir/tools/stamp-image.cpp"
./stamp-image --checksum-only variants/restamped.exe
report="$(osslsigncode verify -in variants/restamped.exe 2>&1 || true)"
current="$(sed -n 's/^Current message digest *: *\([0-9A-Fa-f]*\).*/\1/p' <<<"$report")"
calculated="$(sed -n 's/^Calculated message digest *: *\([0-9A-Fa-f]*\).*/\1/p' <<<"$report")"
if [ -z "$current" ] || [ "$current" != "$calculated" ]; then
  echo "the checksum step broke the signature"; exit 1
fi

# One byte changed: inside the signature, in the headers' DOS stub, and the last byte.
for at in $((certificates_at + (size - certificates_at) / 2)) 100 $((size - 1)); do
  cp signed/setup.exe "variants/changed-at-$at.exe"
  flip "variants/changed-at-$at.exe" "$at"
done

export RAVELNEST_SIGNED_PACKAGE="Z:${work//\//\\}"
exec "$source_dir/tools/wine-run.sh" --prefix "$build/wineprefix" "$build/bin/signing_test.exe"
