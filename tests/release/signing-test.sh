#!/usr/bin/env bash
# Signs copies of the built package with throwaway certificates of a CA of the test's own,
# both ways the signing script takes credentials: once time-stamped by a time-stamp server
# of the test's own on 127.0.0.1, once without (the script warns). A time-stamp server that
# answers 500, one that fails the second program and one that cannot be reached must each
# leave the package and its zip as they were. Then prepares programs whose checksum a signer
# left stale or with one byte changed, and runs the Windows checks of them
# (signing_test.exe) under Wine.
# Usage: signing-test.sh SOURCE_DIR BUILD_DIR [release|round-trip]
# release (the shipped 32-bit build): all of the above; the Windows checks run only where the
# kernel runs 32-bit code (RAVELNEST_KERNEL_CODE=64 says it does not). round-trip (the
# 64-bit build, which makes no zip): copies of its programs signed both ways, the checks of
# the signatures and the Windows checks, run through Wine's 64-bit loader.
set -euo pipefail

source_dir="$1" build="$2" mode="${3:-release}"
work="$build/signing-test"
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# The CA, and the code-signing and time-stamping certificates it issues.
openssl req -x509 -newkey rsa:2048 -sha256 -days 7 -nodes -subj "/CN=Ravelnest Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout ca-key.pem -out ca.pem 2>/dev/null
issue() {  # issue NAME SUBJECT EXTENDED_KEY_USAGE: NAME.pem and NAME-key.pem
  openssl req -newkey rsa:2048 -nodes -subj "/CN=$2" -keyout "$1-key.pem" -out "$1.csr" 2>/dev/null
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$3" \
      > "$1.ext"
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca-key.pem -CAcreateserial -days 7 -sha256 \
      -extfile "$1.ext" -out "$1.pem" 2>/dev/null
}
issue cert "Ravelnest Test Signing" codeSigning
issue tsa "Ravelnest Test Time Stamps" critical,timeStamping
printf 'throwaway\n' > password.txt
openssl pkcs12 -export -inkey cert-key.pem -in cert.pem -certfile ca.pem -out signing.pfx \
    -passout file:password.txt

cat > tsa.cnf <<EOF
[ tsa ]
default_tsa = test_tsa
[ test_tsa ]
serial = $work/tsa-serial
signer_cert = $work/tsa.pem
signer_key = $work/tsa-key.pem
certs = $work/tsa.pem
signer_digest = sha256
default_policy = 1.3.6.1.4.1.55555.1
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
EOF
echo 01 > tsa-serial

python3 "$source_dir/tests/release/timestamp-server.py" tsa.cnf ports 2>timestamp-server.log &
server=$!
stop_server() {
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
}
trap stop_server EXIT
trap 'exit 1' INT TERM
for _ in $(seq 600); do
  [ -s ports ] && break
  kill -0 "$server" 2>/dev/null || { cat timestamp-server.log; echo "the time-stamp server did not start"; exit 1; }
  sleep 0.1
done
[ -s ports ] || { echo "the time-stamp server gave no port"; exit 1; }
{ read -r port; read -r unreachable_port; } < ports
server_url="http://127.0.0.1:$port"
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1

sign() {  # sign LOG ARGUMENTS...: the script's messages kept in LOG and shown
  local log="$1" status=0
  shift
  "$source_dir/tools/sign-package.sh" "$@" 2>"$log" || status=$?
  cat "$log" >&2
  return "$status"
}
# A build folder of the test's own, as a release signs it: package, version, epoch and zip.
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
zip="ReelshifterSDK-$version.zip"
mkdir -p release/package release/generated
cp -r "$build/package/ReelshifterSDK" release/package/
cp "$build/generated/source-date-epoch.txt" release/generated/
echo "CMAKE_PROJECT_VERSION:STATIC=$version" > release/CMakeCache.txt
if [ "$mode" = release ]; then
  cp "$build/$zip" release/
fi
cp -a release unsigned

# The failures, with the release's own folder and zip; then the signing that succeeds.
if [ "$mode" = release ]; then
  for url in "$server_url/error" "$server_url/answers-once" "http://127.0.0.1:$unreachable_port/"; do
    if sign failed.log --cert cert.pem --key cert-key.pem --timestamp "$url" --build release; then
      echo "signed although $url gave no time stamp"; exit 1
    fi
    grep -q "cannot be reached or answered with an error" failed.log || { echo "no clear message for $url"; exit 1; }
    diff -r unsigned release || { echo "a failed signing with $url changed the package"; exit 1; }
  done
  sign stamped.log --cert cert.pem --key cert-key.pem --timestamp "$server_url/" --build release
else
  sign stamped.log --cert cert.pem --key cert-key.pem --timestamp "$server_url/" \
      --package release/package/ReelshifterSDK
fi
if grep -q "warning" stamped.log; then echo "a warning although time-stamped"; exit 1; fi
sign unstamped.log --pkcs12 signing.pfx --password-file password.txt --package unsigned/package/ReelshifterSDK
grep -q "warning: .*expires" unstamped.log || { echo "no warning without a time stamp"; exit 1; }
mv unsigned/package/ReelshifterSDK signed-pkcs12
cp -r release/package/ReelshifterSDK signed
cmp -s signed/setup.exe "$build/package/ReelshifterSDK/setup.exe" && { echo "setup.exe was not signed"; exit 1; }
stop_server
trap - EXIT INT TERM

# The time stamp, verified against the test's CA; the signature made without one has none.
for program in signed/setup.exe signed/Uninstall.exe signed-pkcs12/setup.exe; do
  report="$(osslsigncode verify -in "$program" -CAfile ca.pem -TSA-CAfile ca.pem 2>&1 || true)"
  grep -q '^Signature verification: ok' <<<"$report" ||
    { printf '%s\n' "$report"; echo "$program: the signature is not verified"; exit 1; }
  if [ "${program%%/*}" = signed ]; then
    # osslsigncode 2.5 and 2.9 name the time differently.
    grep -E '(Timestamp time|The signature is timestamped):' <<<"$report" | head -n 1
    grep -q '^Timestamp Server Signature verification: ok' <<<"$report" ||
      { printf '%s\n' "$report"; echo "$program: no verified time stamp"; exit 1; }
  elif grep -q '^Timestamp Server Signature verification: ok' <<<"$report"; then
    echo "$program: time-stamped without --timestamp"; exit 1
  fi
done
# The zip was made again from the signed programs.
if [ "$mode" = release ]; then
  for program in setup.exe Uninstall.exe; do
    python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))' \
        "release/$zip" "ReelshifterSDK-$version/$program" | cmp -s - "signed/$program" ||
      { echo "the zip does not hold the signed $program"; exit 1; }
  done
fi
"$source_dir/tests/release/pe-checksum.sh" "$build"/package/ReelshifterSDK/{setup,Uninstall}.exe signed*/*.exe

# Offsets in the image: the optional header's checksum, and where the signature lies.
u32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
header="$(u32 signed/setup.exe 60)"
checksum_at=$((header + 24 + 64))
directories=$((header + 24 + 96))  # PE32; PE32+ (magic 0x20B) has a 64-bit image base and more
[ "$(od -An -tu2 -j $((header + 24)) -N2 signed/setup.exe | tr -d ' ')" = 523 ] && directories=$((directories + 16))
certificates_at="$(u32 signed/setup.exe $((directories + 4 * 8)))"  # data directory 4
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
if [ "$mode" = round-trip ]; then
  exec "$source_dir/tools/wine-run.sh" --prefix "$build/wineprefix" --win64 "$build/bin/signing_test.exe"
fi
if [ "${RAVELNEST_KERNEL_CODE:-}" = 64 ]; then
  echo "the signed 32-bit programs were not run: this kernel runs no 32-bit code" \
       "(the 64-bit build's signing test runs its own signed programs)"
  exit 0
fi
exec "$source_dir/tools/wine-run.sh" --prefix "$build/wineprefix" "$build/bin/signing_test.exe"
