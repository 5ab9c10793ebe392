#!/usr/bin/env bash
# Zips a package folder reproducibly: make-zip.sh PACKAGE_DIR ZIP TOP_FOLDER EPOCH.
# The entries lie in TOP_FOLDER, in name order, with the time EPOCH (UTC), fixed
# permissions and no extra fields, so that the same files always give the same bytes.
set -euo pipefail

package="$1" zip="$2" top="$3" epoch="$4"
staging="$(mktemp -d)"
trap 'rm -rf "$staging"' EXIT

mkdir "$staging/$top"
cp -p "$package"/* "$staging/$top/"
chmod 0755 "$staging/$top"
chmod 0644 "$staging/$top"/*
touch -h -d "@$epoch" "$staging/$top"/* "$staging/$top"
rm -f "$zip"
zip_path="$(cd "$(dirname "$zip")" && pwd)/$(basename "$zip")"
cd "$staging"
# zip writes local times: UTC makes them the epoch's own.
find "$top" -type f -print | LC_ALL=C sort | TZ=UTC zip -X -D -q -@ "$zip_path"
