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

# One target: its run, then one line of what it did (or its log's tail).
fuzz_one() {
    local t=$1 work="$bin/work/$1" seed="tests/fuzz/corpus/$1" log="$bin/$1.log"
    mkdir -p "$work" "$seed"
    if "$bin/$t" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$bin/crashes/$t-" \
        "$work" "$seed" >"$log" 2>&1; then
        runs=$(grep -E '^stat::number_of_executed_units' "$log" | awk "{print \$2}" || true)
        cov=$(grep -E '#[0-9]+[[:space:]]+DONE' "$log" | sed -E 's/.*cov: ([0-9]+).*/\1/' | tail -n 1 || true)
        echo "fuzz $t: ${seconds}s, ${runs:-?} runs, coverage ${cov:-?}, no crash"
    else
        echo "fuzz $t: FAILED, see $log"
        tail -n 30 "$log"
        return 1
    fi
}

# As many targets at once as there are cores; each prints when it ends.
jobs=$(nproc)
status=0
running=0
for t in "${targets[@]}"; do
    if [ "$running" -ge "$jobs" ]; then
        wait -n || status=1
        running=$((running - 1))
    fi
    fuzz_one "$t" &
    running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
    wait -n || status=1
    running=$((running - 1))
done
exit $status
