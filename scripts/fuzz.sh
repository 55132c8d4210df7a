#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset, clang 14) and runs each one for a
# while, starting from its seed corpus fuzz/corpus/<target>/. Inputs the run
# finds go to build/fuzz/runs/<target>/, never into the repository; a crash is
# kept there as crash-*, timeout-* or oom-* and ends the script with an error.
#   scripts/fuzz.sh [seconds per target] [target ...]     (default: 5 s, all)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
shift || true
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_targets
if [[ $# -gt 0 ]]; then
    targets=("$@")
else
    targets=()
    for seeds in fuzz/corpus/*/; do targets+=("$(basename "$seeds")"); done
fi
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
for t in "${targets[@]}"; do
    runs=build/fuzz/runs/$t
    mkdir -p "$runs/corpus"
    log=$runs/last.log
    # -timeout: no single input may run five minutes; -rss_limit_mb: nor take 3 GB.
    # The heaviest input the tools allow, a circular edge of 360 spokes on a
    # noisy picture (7.7 million triples, nearly all of them distinct circles),
    # takes about 2 s optimised and 20 s in this instrumented build, and more
    # than a minute when the machine is busy: a lower limit reports it as a hang.
    if build/fuzz/fuzz/"$t" -max_total_time="$seconds" -timeout=300 -rss_limit_mb=3072 \
        -print_final_stats=1 -artifact_prefix="$runs/" "$runs/corpus" "fuzz/corpus/$t" \
        >"$log" 2>&1; then
        status=ok
    else
        status=FAILED
        failed+=("$t")
        grep -E 'ERROR|SUMMARY|check failed|Test unit written' "$log" | head -20 || true
    fi
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    printf 'fuzz %-22s %10s executions in %ss (%s/s, %s) %s\n' "$t" "${executed:-?}" "$seconds" \
        "${rate:-?}" "${coverage:-cov: ?}" "$status"
done
echo "fuzz: $((${#targets[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
if [[ ${#failed[@]} -gt 0 ]]; then
    echo "fuzzing found faults in: ${failed[*]} (inputs in build/fuzz/runs/)"
    exit 1
fi
