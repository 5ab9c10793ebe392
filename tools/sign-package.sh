#!/usr/bin/env bash
# Signs setup.exe and Uninstall.exe of a package folder with Authenticode (SHA-256):
#   tools/sign-package.sh --cert CERT.pem --key KEY.pem --timestamp URL [--package DIR | --build DIR]
#   tools/sign-package.sh --pkcs12 FILE.pfx --password-file FILE --timestamp URL [--package DIR | --build DIR]
# URL is an RFC 3161 time-stamp server: a time-stamped signature stays valid after the
# certificate expires. Without --timestamp the programs are signed all the same, with a
# warning that their signatures expire with the certificate.
# The package folder is the build's (build/package/ReelshifterSDK, or that of --build DIR)
# unless given; the build's zip is then made again from the signed files. After signing,
# each program's PE checksum is written again (a signer that leaves it stale would make the
# program refuse to start; the Authenticode digest excludes that field, so the signature
# stays valid), and osslsigncode must find the signed digest equal to the file's. Both
# programs are signed in a work folder first: on any failure the package and the zip are
# left as they were, and the exit code is non-zero.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
package=""
cert="" key="" pkcs12="" password_file="" timestamp=""

usage() {
  sed -n '2,4p' "$0" | sed 's/^# *//' >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case "$1" in
    --cert) cert="${2:?}"; shift 2 ;;
    --key) key="${2:?}"; shift 2 ;;
    --pkcs12) pkcs12="${2:?}"; shift 2 ;;
    --password-file) password_file="${2:?}"; shift 2 ;;
    --timestamp) timestamp="${2:?}"; shift 2 ;;
    --package) package="${2:?}"; shift 2 ;;
    --build) build="${2:?}"; shift 2 ;;
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
own_package="$build/package/ReelshifterSDK"
package="$(cd "${package:-$own_package}" && pwd)"

stamping=()
if [ -n "$timestamp" ]; then
  stamping=(-ts "$timestamp")
else
  echo "sign-package: warning: no --timestamp: these signatures stop validating when the" \
       "signing certificate expires (Windows then shows an unknown publisher)" >&2
fi

# The checksum step is the build's image tool, built here from this tree's source so that
# it never lags behind it.
work="$(mktemp -d)"
trap 'rm -rf "$work" "$package/.setup.exe.signed" "$package/.Uninstall.exe.signed"' EXIT
stamp_image="$work/stamp-image"
c++ -std=c++17 -O2 -o "$stamp_image" "$root/tools/stamp-image.cpp"

fail() {
  echo "sign-package: $*" >&2
  echo "sign-package: the package and its zip were left as they were" >&2
  exit 1
}

# An RFC 3161 time stamp is the signer's unsigned attribute of this type.
has_time_stamp() {
  rm -f "$1.pem"  # osslsigncode does not overwrite
  osslsigncode extract-signature -pem -in "$1" -out "$1.pem" >/dev/null 2>&1 &&
    openssl asn1parse -in "$1.pem" | grep ':1\.3\.6\.1\.4\.1\.311\.3\.3\.1$' >/dev/null
}

declare -A digests
for program in setup.exe Uninstall.exe; do
  signed="$work/$program"
  if ! osslsigncode sign -h sha256 "${credentials[@]}" "${stamping[@]}" -n "Reelshifter SDK" \
      -in "$package/$program" -out "$signed" >"$work/sign.log" 2>&1; then
    # Without OpenSSL's attempts at other key formats, which only hide the cause.
    grep -v ':DECODER routines:\|:asn1 encoding routines:' "$work/sign.log" >&2 || true
    if [ -n "$timestamp" ] && grep -qi 'timestamping failed' "$work/sign.log"; then
      fail "$program: no time stamp: the server $timestamp cannot be reached or answered with an error"
    fi
    fail "$program: osslsigncode could not sign it"
  fi
  if [ -n "$timestamp" ] && ! has_time_stamp "$signed"; then
    fail "$program: the signature carries no time stamp from $timestamp"
  fi
  "$stamp_image" --checksum-only "$signed"
  report="$(osslsigncode verify -in "$signed" 2>&1 || true)"
  current="$(sed -n 's/^Current message digest *: *\([0-9A-Fa-f]*\).*/\1/p' <<<"$report" | head -n 1)"
  calculated="$(sed -n 's/^Calculated message digest *: *\([0-9A-Fa-f]*\).*/\1/p' <<<"$report" | head -n 1)"
  if [ -z "$current" ] || [ "$current" != "$calculated" ]; then
    printf '%s\n' "$report" >&2
    fail "$program: the signed digest does not match the file"
  fi
  digests[$program]="$current"
done

# Both are signed: each replaces its original by a rename in the package folder.
for program in setup.exe Uninstall.exe; do
  cp "$work/$program" "$package/.$program.signed"
  chmod --reference="$package/$program" "$package/.$program.signed"
done
for program in setup.exe Uninstall.exe; do
  mv -f "$package/.$program.signed" "$package/$program"
  echo "signed: $package/$program (digest ${digests[$program]}${timestamp:+, time-stamped})"
done

if [ "$package" = "$(cd "$own_package" 2>/dev/null && pwd)" ]; then
  version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
  zip="$build/ReelshifterSDK-$version.zip"
  "$root/tools/make-zip.sh" "$package" "$zip" "ReelshifterSDK-$version" \
      "$(cat "$build/generated/source-date-epoch.txt")"
  echo "zipped: $zip"
fi
