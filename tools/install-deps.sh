#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test the SDK package.
# Idempotent and cheap when everything is present: apt runs only for missing packages.
set -euo pipefail

export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(
  cmake make git zip
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine32:i386 wine64
  xvfb x11-utils imagemagick fonts-noto-cjk
  fp-utils osslsigncode openssl python3
  clang-14 libclang-rt-14-dev
  googletest libbenchmark-dev
)

need_i386=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_i386=1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  # A mirror in the middle of a sync fails one index; the others are still usable.
  $SUDO apt-get update -qq || echo "install-deps: some package indexes failed; going on with the rest"
  if ! $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
    # Without the security archive's i386 index, the 32-bit libraries cannot match the
    # 64-bit ones at their security versions: take both from the release itself.
    $SUDO apt-get install -y -qq --no-install-recommends -t bookworm "${missing[@]}"
  fi
elif [ "$need_i386" -eq 1 ]; then
  $SUDO apt-get update -qq || true
fi

echo "install-deps: ready"
