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

if [ "${1:-}" = --run ]; then
    suite=$2
    report=$(report_of "$suite")
    mkdir -p "$(dirname "$report")"
    rm -f "$report"
    status=0
    "$here/wine-run.sh" "$suite" "--gtest_output=json:$(echo "Z:$report" | tr '/' '\\')" || status=$?
    "$here/wine-run.sh" --finish "$suite"
    if [ ! -s "$report" ]; then
        echo "wine-suite: $(basename "$suite") stopped before it wrote its report (status $status)" >&2
        exit 1
    fi
    # Failing cases fail on their own; the run itself only has to finish.
    exit 0
fi

suite=$1
shift
case "${1:-}" in
    --gtest_filter=*)
        exec python3 "$here/gtest-case.py" "$(report_of "$suite")" "${1#--gtest_filter=}" ;;
    *)
        exec "$here/wine-run.sh" "$suite" "$@" ;;
esac
