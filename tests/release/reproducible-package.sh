#!/usr/bin/env bash
# Builds the package a second time, from a copy of the sources in another folder, later and
# with every source file touched, so that folders, file times and the clock all differ; then
# compares every shipped file and the zip with the first build's, byte for byte, and checks
# that the zips list their entries in name order. The second build lies on a tmpfs where one
# is writable: a folder there lists its entries in another order than in the build tree, so
# a zip made in the order a folder lists would differ between the two. First, the help
# file's stamping of a build whose two time stamps fall on either side of midnight.
# Usage: reproducible-package.sh SOURCE_DIR BUILD_DIR
set -euo pipefail

source_dir="$1" build="$2"
work="$build/reproducible-test"
if [ -d /dev/shm ] && [ -w /dev/shm ] && shm="$(mktemp -d /dev/shm/ravelnest-reproducible.XXXXXX)"; then
  work="$shm"
  trap 'rm -rf "$shm"' EXIT
else
  echo "no writable tmpfs: the second build lies on the build tree's file system"
fi
copy="$work/sources elsewhere"
rm -rf "$work"
mkdir -p "$copy"

# A help file of the header's time and #SYSTEM's time record, beside a record of noon that
# is no build time and stays as it is.
big_endian() { printf '%08x' "$1" | sed 's/../\\x&/g'; }
little_endian() { printf '%08x' "$1" | sed 's/\(..\)\(..\)\(..\)\(..\)/\\x\4\\x\3\\x\2\\x\1/'; }
help_file() {  # help_file HEADER_MS RECORD_MS
  printf 'ITSF'
  head -c 12 /dev/zero
  printf "$(big_endian "$1")"
  head -c 76 /dev/zero
  printf "\x0a\x00\x04\x00$(little_endian 43200000)\x0a\x00\x04\x00$(little_endian "$2")"
}
# Stamped with the epoch 1700000000, whose time of day is 22:13:20.
for times in "86399500 400" "200 86399900"; do
  help_file $times > "$work/midnight.chm"
  "$build/tools/stamp-help" "$work/midnight.chm" 1700000000
  cmp "$work/midnight.chm" <(help_file 80000000 80000000) ||
    { echo "the help file of the times $times was stamped wrong"; exit 1; }
done

# The commit's files and any new ones, as a clean clone with the change would have them.
(cd "$source_dir" && git ls-files -z --cached --others --exclude-standard) |
  while IFS= read -r -d '' file; do
    if [ -f "$source_dir/$file" ]; then
      mkdir -p "$copy/$(dirname "$file")"
      cp -p "$source_dir/$file" "$copy/$file"
    fi
  done
sleep 2
find "$copy" -type f -exec touch {} +

# The copy has no history: it is given the time stamp the first build took from it.
epoch="$(cat "$build/generated/source-date-epoch.txt")"
SOURCE_DATE_EPOCH="$epoch" cmake -S "$copy" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/i686-w64-mingw32.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
TMPDIR="$work" cmake --build "$work/build" -j "${JOBS:-2}" --target sdk_zip >/dev/null

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
differing=()
for file in setup.exe Uninstall.exe readme.txt "Reelshifter SDK.chm"; do
  cmp -s "$build/package/ReelshifterSDK/$file" "$work/build/package/ReelshifterSDK/$file" || differing+=("$file")
done
zip="ReelshifterSDK-$version.zip"
cmp -s "$build/$zip" "$work/build/$zip" || differing+=("$zip")
for built in "$build/$zip" "$work/build/$zip"; do
  listing="$(zip -sf "$built" | sed -n 's/^  //p')"
  if [ -z "$listing" ] || [ "$listing" != "$(LC_ALL=C sort <<<"$listing")" ]; then
    printf '%s lists its entries out of name order:\n%s\n' "$built" "$listing"
    exit 1
  fi
done
if [ "${#differing[@]}" -gt 0 ]; then
  printf 'differs between the two builds: %s\n' "${differing[@]}"
  exit 1
fi
echo "the second build gave the same bytes:"
(cd "$work/build/package/ReelshifterSDK" && sha256sum -- *)
(cd "$work/build" && sha256sum -- "$zip")
rm -rf "$work"
