#!/usr/bin/env bash
# Runs every fuzz target for SECONDS seconds each, starting from its committed
# corpus (tests/fuzz/corpus/<target>/, never written to) plus a working corpus
# under build/fuzz/work/<target>/ that keeps what the runs discover.
# A crash stops with a non-zero status and leaves the input in build/fuzz/crashes/.
# Usage: scripts/run-fuzzers.sh SECONDS [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
shift || true
bin=build/fuzz
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
    for src in tests/fuzz/*Fuzz.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi
mkdir -p "$bin/crashes"
status=0
for t in "${targets[@]}"; do
    work="$bin/work/$t"
    seed="tests/fuzz/corpus/$t"
    mkdir -p "$work" "$seed"
    log="$bin/$t.log"
    if "$bin/$t" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$bin/crashes/$t-" \
        "$work" "$seed" >"$log" 2>&1; then
        runs=$(grep -E '^stat::number_of_executed_units' "$log" | awk "{print \$2}" || true)
        cov=$(grep -E '#[0-9]+[[:space:]]+DONE' "$log" | sed -E 's/.*cov: ([0-9]+).*/\1/' | tail -n 1 || true)
        echo "fuzz $t: ${seconds}s, ${runs:-?} runs, coverage ${cov:-?}, no crash"
    else
        echo "fuzz $t: FAILED, see $log"
        tail -n 30 "$log"
        status=1
    fi
done
exit $status
