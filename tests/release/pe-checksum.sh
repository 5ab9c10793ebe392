#!/usr/bin/env bash
# Checks the PE checksum stamped in each program against one computed here, apart from the
# implementation that the build's stamping tool and the programs' own start-up check share
# (a fault there would stamp and accept the same wrong value): the file's 16-bit
# little-endian words, the checksum field counted as zero, summed with every carry out of
# 16 bits added back in, plus the file's length.
# Usage: pe-checksum.sh PROGRAM.exe...
set -euo pipefail

u32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
status=0
for file in "$@"; do
  at=$(($(u32 "$file" 60) + 4 + 20 + 64))  # PE signature, file header, then 64 into the optional header
  stamped="$(u32 "$file" "$at")"
  computed="$(od -An -v -tu1 "$file" | awk -v at="$at" '
    function add(word, offset) {
      if (offset == at || offset == at + 2) word = 0
      sum += word
      sum = sum % 65536 + int(sum / 65536)
    }
    { for (i = 1; i <= NF; i++) { if (n % 2 == 0) low = $i; else add(low + 256 * $i, n - 1); n++ } }
    END { if (n % 2 == 1) add(low, n - 1); printf "%d\n", sum + n }')"
  if [ "$stamped" != "$computed" ]; then
    echo "pe-checksum: $file: stamped $stamped, computed $computed"
    status=1
  fi
done
exit "$status"
