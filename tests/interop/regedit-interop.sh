#!/usr/bin/env bash
# Our registry files against a real regedit (Wine's), in a throwaway prefix:
#  1. files portmedic-scan writes (REGEDIT4 and version 5) import with
#     `regedit /S`, and `reg query` reads the repaired values back;
#  2. what `regedit /E` exports of them (UTF-16LE, BOM, version 5) loads in
#     portmedic-scan and gives the very same report as our own file.
# Usage: regedit-interop.sh PORTMEDIC_SCAN WORK_DIR
set -euo pipefail
scan=$1
work=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64

rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
"$wine" wineboot -i >/dev/null 2>&1

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
winpath() { echo "Z:$1" | tr / '\\'; }

check_value() {  # KEY VALUE EXPECTED
    local got
    got=$("$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v v="$2" '$1 == v {print $3}')
    [ "$got" = "$3" ] || fail "reg query $1 $2: expected '$3', got '$got'"
}

for example in damaged-device clean-device; do
    ours=$work/$example-ours.reg
    "$scan" --quiet --repair --output "$ours" "$source_dir/examples/$example.reg" || true
    "$wine" regedit /S "$(winpath "$ours")" || fail "regedit /S $example"
    check_value 'HKLM\Drivers\BuiltIn\Serial5' Dll BTCEIF.DLL
    check_value 'HKLM\Drivers\BuiltIn\Serial8' Dll BTCEIF.DLL

    exported=$work/$example-exported.reg
    "$wine" regedit /E "$(winpath "$exported")" 'HKEY_LOCAL_MACHINE\Drivers' ||
        fail "regedit /E $example"
    head -c 2 "$exported" | od -An -tx1 | grep -q 'ff fe' || fail "$example export has no UTF-16 BOM"
    set +e
    "$scan" "$ours" >"$work/ours.txt"; s1=$?
    "$scan" "$exported" >"$work/exported.txt"; s2=$?
    set -e
    [ "$s1" = "$s2" ] || fail "$example: exit $s1 on our file, $s2 on regedit's export"
    cmp -s "$work/ours.txt" "$work/exported.txt" ||
        fail "$example: reports differ: $(diff "$work/ours.txt" "$work/exported.txt" | head -5)"
    "$wine" reg delete 'HKLM\Drivers' /f >/dev/null 2>&1 || true
done

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "regedit interop: both examples import, read back and re-export equal"
