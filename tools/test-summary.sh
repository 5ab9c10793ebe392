#!/usr/bin/env bash
# One summary line of a CTest run, from the log CTest keeps of every test's output: how many
# CTest tests ran, how many GoogleTest tests they ran, and which of those were skipped
# (a test skips only where its prefix makes it meaningless), each with its CTest test.
# Usage: test-summary.sh NAME BUILD_TREE STATUS
set -euo pipefail
name="$1" log="$2/Testing/Temporary/LastTest.log" status="$3"
[ -f "$log" ] || { echo "$name: no test log ($log)"; exit 0; }
awk -v name="$name" -v status="$status" '
  /^[0-9]+\/[0-9]+ Testing: / { current = $3; programs++ }
  /^\[==========\] [0-9]+ tests? from .* ran\./ { tests += $2 }
  /^\[  SKIPPED \] [^ ]+ \([0-9]+ ms\)/ { skipped[++skips] = $4 " (" current ")" }
  END {
    printf "%s: %s; %d CTest tests, %d GoogleTest tests, %d skipped\n", name,
           status == 0 ? "passed" : "FAILED", programs, tests, skips
    for (i = 1; i <= skips; i++) printf "  skipped: %s\n", skipped[i]
  }' "$log"
