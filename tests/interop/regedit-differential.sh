#!/usr/bin/env bash
# Our reading of tricky registry files against Wine's regedit, the closest
# peer to Windows' own: each file of the corpus is imported with
# `regedit /S` into a throwaway prefix, exported again with `regedit /E`,
# and the registry read from the export must equal, value by value (type and
# bytes), the registry our reader makes of the original file.
# Usage: regedit-differential.sh REGDUMP CORPUS_DIR WORK_DIR
set -euo pipefail
regdump=$1
corpus=$2
work=$3
key='HKEY_CURRENT_USER\PmDiff'
source "$(dirname "$0")/private-prefix.sh"
failures=0
for file in "$corpus"/*.reg; do
    name=$(basename "$file" .reg)
    "$wine" reg delete "$key" /f >/dev/null 2>&1 || true
    "$wine" regedit /S "$(winpath "$file")" >/dev/null 2>&1 || true
    exported=$work/$name-wine.reg
    rm -f "$exported"
    "$wine" regedit /E "$(winpath "$exported")" "$key" >/dev/null 2>&1 || true
    "$regdump" "$file" "$key" >"$work/$name-ours.txt" 2>/dev/null
    if [ -s "$exported" ]; then
        "$regdump" "$exported" "$key" >"$work/$name-wine.txt"
    else
        : >"$work/$name-wine.txt"  # regedit imported nothing
    fi
    if ! cmp -s "$work/$name-ours.txt" "$work/$name-wine.txt"; then
        echo "FAIL: $name: our registry (<) and regedit's (>) differ:"
        diff "$work/$name-ours.txt" "$work/$name-wine.txt" | head -20
        failures=$((failures + 1))
    fi
done
if [ "$failures" -ne 0 ]; then
    echo "$failures of the corpus files read differently"
    exit 1
fi
echo "regedit differential: every corpus file reads as regedit imports it"
