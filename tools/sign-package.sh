#!/usr/bin/env bash
# Signs setup.exe and Uninstall.exe of a package folder with Authenticode (SHA-256):
#   tools/sign-package.sh --cert CERT.pem --key KEY.pem [--package DIR]
#   tools/sign-package.sh --pkcs12 FILE.pfx --password-file FILE [--package DIR]
# The package folder is the build's (build/package/ReelshifterSDK) unless given; the
# build's zip is then made again from the signed files. After signing, each program's PE
# checksum is written again (a signer that leaves it stale would make the program refuse to
# start; the Authenticode digest excludes that field, so the signature stays valid), and
# osslsigncode must find the signed digest equal to the file's. Exits non-zero otherwise.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
own_package="$build/package/ReelshifterSDK"
package="$own_package"
cert="" key="" pkcs12="" password_file=""

usage() {
  sed -n '2,3p' "$0" | sed 's/^# *//' >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case "$1" in
    --cert) cert="${2:?}"; shift 2 ;;
    --key) key="${2:?}"; shift 2 ;;
    --pkcs12) pkcs12="${2:?}"; shift 2 ;;
    --password-file) password_file="${2:?}"; shift 2 ;;
    --package) package="${2:?}"; shift 2 ;;
    *) usage ;;
  esac
done
if [ -n "$pkcs12" ]; then
  [ -n "$password_file" ] && [ -z "$cert$key" ] || usage
  credentials=(-pkcs12 "$pkcs12" -readpass "$password_file")
else
  [ -n "$cert" ] && [ -n "$key" ] && [ -z "$password_file" ] || usage
  credentials=(-certs "$cert" -key "$key")
fi
package="$(cd "$package" && pwd)"

# The checksum step is the build's image tool, built here from this tree's source so that
# it never lags behind it.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
stamp_image="$work/stamp-image"
c++ -std=c++17 -O2 -o "$stamp_image" "$root/tools/stamp-image.cpp"

for program in setup.exe Uninstall.exe; do
  file="$package/$program"
  osslsigncode sign -h sha256 "${credentials[@]}" -n "Reelshifter SDK" -in "$file" -out "$work/$program" >/dev/null
  "$stamp_image" --checksum-only "$work/$program"
  report="$(osslsigncode verify -in "$work/$program" 2>&1 || true)"
  current="$(sed -n 's/^Current message digest *: *\([0-9A-Fa-f]*\).*/\1/p' <<<"$report" | head -n 1)"
  calculated="$(sed -n 's/^Calculated message digest *: *\([0-9A-Fa-f]*\).*/\1/p' <<<"$report" | head -n 1)"
  if [ -z "$current" ] || [ "$current" != "$calculated" ]; then
    printf '%s\n' "$report" >&2
    echo "sign-package: $program: the signed digest does not match the file" >&2
    exit 1
  fi
  cp "$work/$program" "$file"
  echo "signed: $file (digest $current)"
done

if [ "$package" = "$(cd "$own_package" 2>/dev/null && pwd)" ]; then
  version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
  zip="$build/ReelshifterSDK-$version.zip"
  "$root/tools/make-zip.sh" "$package" "$zip" "ReelshifterSDK-$version" \
      "$(cat "$build/generated/source-date-epoch.txt")"
  echo "zipped: $zip"
fi
