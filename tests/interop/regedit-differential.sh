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
# One file through regedit: import into an empty key, export, and our
# reading of both; true when they are the same.
compare() { # FILE NAME
    local file=$1 name=$2 exported=$work/$2-wine.reg
    "$wine" reg delete "$key" /f >/dev/null 2>&1 || true
    rm -f "$exported"
    "$wine" regedit /S "$(winpath "$file")" >>"$work/$name-wine.log" 2>&1 || true
    "$wine" regedit /E "$(winpath "$exported")" "$key" >>"$work/$name-wine.log" 2>&1 || true
    "$regdump" "$file" "$key" >"$work/$name-ours.txt" 2>/dev/null
    if [ -s "$exported" ]; then
        "$regdump" "$exported" "$key" >"$work/$name-wine.txt"
    else
        : >"$work/$name-wine.txt"  # regedit imported nothing
    fi
    cmp -s "$work/$name-ours.txt" "$work/$name-wine.txt"
}
failures=0
for file in "$corpus"/*.reg; do
    name=$(basename "$file" .reg)
    compare "$file" "$name" && continue
    # Our reading is the same every time; a difference that goes away when
    # the same file goes through regedit again was Wine's start, not the file
    # (seen once on a loaded machine: regedit imported nothing).
    echo "note: $name read differently once; through regedit again ($(wc -c <"$work/$name-wine.log") bytes of regedit's messages)"
    compare "$file" "$name" && continue
    echo "FAIL: $name: our registry (<) and regedit's (>) differ:"
    diff "$work/$name-ours.txt" "$work/$name-wine.txt" | head -20
    failures=$((failures + 1))
done
if [ "$failures" -ne 0 ]; then
    echo "$failures of the corpus files read differently"
    exit 1
fi
echo "regedit differential: every corpus file reads as regedit imports it"
