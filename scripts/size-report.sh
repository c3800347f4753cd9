#!/bin/sh
# Each file's size in bytes against its budget; fails when one is over.
#
#   scripts/size-report.sh LABEL FILE BUDGET [LABEL FILE BUDGET ...]
while [ $# -ge 3 ]; do
    n=$(wc -c <"$2") || exit 1
    echo "$1: $n bytes (budget $3)"
    [ "$n" -le "$3" ] || { echo "$1 is over budget"; exit 1; }
    shift 3
done
[ $# -eq 0 ] || { echo "usage: $0 LABEL FILE BUDGET [LABEL FILE BUDGET ...]" >&2; exit 2; }
