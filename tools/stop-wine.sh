#!/usr/bin/env bash
# Ends the Wine server (and with it every Wine process) of every prefix in the given build
# trees: the tests' prefixes, the demo's and the benchmarks'.
# Usage: stop-wine.sh BUILD_TREE...
for tree in "$@"; do
  for prefix in "$tree"/wineprefix*/ "$tree"/demo-prefix*/ "$tree"/bench-prefix*/; do
    [ -d "$prefix" ] || continue
    WINEPREFIX="${prefix%/}" wineserver -k >/dev/null 2>&1 || true
  done
done
exit 0
