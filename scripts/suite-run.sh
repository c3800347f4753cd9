#!/usr/bin/env bash
# Runs a test suite built for another system (Windows under Wine, ARM Linux
# under qemu) in one process and hands each of its test cases to ctest by
# name.
#
#   suite-run.sh [--with RUNNER] --run SUITE   run every case in one process;
#                                              the results go to a report beside it
#   suite-run.sh [--with RUNNER] SUITE --gtest_list_tests
#                                              list the cases
#   suite-run.sh [--with RUNNER] SUITE --gtest_filter=NAME
#                                              one case's result, read from the report
#
# RUNNER starts the suite: scripts/wine-run.sh (the default) in a private
# Wine prefix of the suite's own, or a script that starts it under qemu.
# This is the launcher ctest's test discovery puts in front of every case, so
# a case costs no start of its own (a Wine prefix, or qemu translating the
# suite's start-up anew): the whole suite runs once (the "--run" test, a
# fixture every case requires), sequentially, and under Wine its server is
# stopped when it is done. No two cases ever share a prefix at the same time.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
runner=$here/wine-run.sh
if [ "${1:-}" = --with ]; then
    runner=$2
    shift 2
fi

# Wine sees the Linux root as drive Z:, with backslashes.
path_for_suite() {
    if [ "$runner" = "$here/wine-run.sh" ]; then echo "Z:$1" | tr '/' '\\'; else echo "$1"; fi
}
report_of() { echo "$(dirname "$1")/runs/report-$(basename "$1" .exe).json"; }
results_of() { echo "$(dirname "$1")/runs/results-$(basename "$1" .exe)"; }

if [ "${1:-}" = --run ]; then
    suite=$2
    report=$(report_of "$suite")
    results=$(results_of "$suite")
    mkdir -p "$(dirname "$report")"
    rm -f "$report"
    status=0
    "$runner" "$suite" "--gtest_output=json:$(path_for_suite "$report")" || status=$?
    if [ "$runner" = "$here/wine-run.sh" ]; then "$runner" --finish "$suite"; fi
    if [ ! -s "$report" ]; then
        echo "suite-run: $(basename "$suite") stopped before it wrote its report (status $status)" >&2
        exit 1
    fi
    # One small file per case, so reading a case's result costs no more than
    # a shell. Made aside and put in place when complete.
    rm -rf "$results.partial"
    /usr/bin/python3 "$here/gtest-split.py" "$report" "$results.partial"
    rm -rf "$results"
    mv "$results.partial" "$results"
    # Failing cases fail on their own; the run itself only has to finish,
    # and leave the files its prefix shares with others as they were (125:
    # wine-run.sh named the file it changed).
    [ "$status" -ne 125 ] || exit 1
    exit 0
fi

suite=$1
shift
case "${1:-}" in
    --gtest_filter=*)
        name=${1#--gtest_filter=}
        file=$(results_of "$suite")/${name//\//@}
        if [ ! -f "$file" ]; then
            echo "$name: no result in $(results_of "$suite") (did $(basename "$suite" .exe).run run?)"
            exit 1
        fi
        { read -r result; cat; } < "$file"
        case "$result" in
            passed) echo "[       OK ] $name" ;;
            skipped) echo "[  SKIPPED ] $name" ;;
            *) echo "[  FAILED  ] $name"; exit 1 ;;
        esac ;;
    *)
        exec "$runner" "$suite" "$@" ;;
esac
