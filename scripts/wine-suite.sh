#!/usr/bin/env bash
# Runs a Windows test suite under Wine in one process and hands each of its
# test cases to ctest by name.
#
#   wine-suite.sh --run SUITE.exe          run every case in one Wine process;
#                                          the results go to a report beside it
#   wine-suite.sh SUITE.exe --gtest_list_tests
#                                          list the cases (under Wine)
#   wine-suite.sh SUITE.exe --gtest_filter=NAME
#                                          one case's result, read from the report
#
# This is the launcher ctest's test discovery puts in front of every case, so
# a case costs no Wine start of its own: the whole suite runs once (the
# "--run" test, a fixture every case requires), sequentially, in the suite's
# private prefix, and its Wine server is stopped when it is done. No two
# cases ever share the prefix at the same time.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)

report_of() { echo "$(dirname "$1")/wine/report-$(basename "$1" .exe).json"; }
results_of() { echo "$(dirname "$1")/wine/results-$(basename "$1" .exe)"; }

if [ "${1:-}" = --run ]; then
    suite=$2
    report=$(report_of "$suite")
    results=$(results_of "$suite")
    mkdir -p "$(dirname "$report")"
    rm -f "$report"
    status=0
    "$here/wine-run.sh" "$suite" "--gtest_output=json:$(echo "Z:$report" | tr '/' '\\')" || status=$?
    "$here/wine-run.sh" --finish "$suite"
    if [ ! -s "$report" ]; then
        echo "wine-suite: $(basename "$suite") stopped before it wrote its report (status $status)" >&2
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
        exec "$here/wine-run.sh" "$suite" "$@" ;;
esac
