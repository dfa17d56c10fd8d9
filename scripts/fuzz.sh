#!/usr/bin/env bash
# Runs a fuzzing campaign of SECONDS (default 60) on every fuzzer of the fuzz preset, one after the
# other at low priority, and prints executions, executions per second and coverage of each.
# Working corpora grow under build/fuzz/campaign/<fuzzer>/ (seeded from the generated corpora and
# fuzz/regressions/); failing inputs land in build/fuzz/findings/. A finding is kept by copying
# it into fuzz/regressions/<fuzzer>/ once fixed, so that ctest replays it.
# Usage: scripts/fuzz.sh [SECONDS] [FUZZER...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
build=build/fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
fuzzers=("$@")
if [ ${#fuzzers[@]} -eq 0 ]; then
    for f in "$build"/fuzz/*_fuzzer; do fuzzers+=("$(basename "$f" _fuzzer)"); done
fi
mkdir -p "$build/findings"
printf '%-10s %14s %10s %8s %8s\n' fuzzer executions exec/s cov ft
for name in "${fuzzers[@]}"; do
    corpus="$build/campaign/$name"
    mkdir -p "$corpus"
    seeds=("$build/fuzz/corpus/$name")
    [ -d "fuzz/regressions/$name" ] && seeds+=("fuzz/regressions/$name")
    log="$build/findings/$name.log"
    status=0
    nice -n 10 "$build/fuzz/${name}_fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$build/findings/$name-" "$corpus" "${seeds[@]}" >"$log" 2>&1 ||
        status=$?
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
    speed=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo 0)
    ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo 0)
    printf '%-10s %14s %10s %8s %8s' "$name" "$runs" "$speed" "$cov" "$ft"
    if [ "$status" -ne 0 ]; then printf '  FAILED (see %s)' "$log"; fi
    printf '\n'
done
