#!/usr/bin/env bash
# Bounded fuzz run of the pattern matcher from the checked-in seed corpus. Fails on a
# crash, a sanitizer report, a leak or an input slower than the timeout.
# Usage: run-fuzz.sh fuzzer seed-corpus work-dir seconds
set -euo pipefail
fuzzer="$1" seeds="$2" work="$3" seconds="$4"
rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
cd "$work"
# The target keeps inputs short itself (see its header); -max_len leaves room for both parts.
"$fuzzer" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len=64 \
    -detect_leaks=1 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
    "$work/corpus" "$seeds" 2>"$work/fuzz.log" || { tail -n 60 "$work/fuzz.log"; exit 1; }
grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$work/fuzz.log" || true
