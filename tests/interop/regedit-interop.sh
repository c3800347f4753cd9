#!/usr/bin/env bash
# Our registry files against a real regedit (Wine's), in a throwaway prefix:
#  1. files portmedic-scan writes (REGEDIT4 and version 5) import with
#     `regedit /S`, and `reg query` reads the repaired values back;
#  2. what `regedit /E` exports of them (UTF-16LE, BOM, version 5) loads in
#     portmedic-scan and gives the very same report as our own file;
#  3. a repair changes only the damaged values' lines: in the examples, in a
#     Wine export with comments, \n escapes and hex continuations, and in a
#     REGEDIT4 file whose damaged value is hex(1) text over two lines, which
#     stays hex(1) over two lines, only its bytes changed, and imports as text,
#     beside a string with blanks around '=' and a comment, which stay.
# Usage: regedit-interop.sh PORTMEDIC_SCAN WORK_DIR
set -euo pipefail
scan=$1
work=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
source "$(dirname "$0")/private-prefix.sh"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

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

# A repair changes only the damaged values' lines: FILE against its repair,
# line by line, in UTF-8; every other line must be byte for byte the same.
utf8() { if head -c 2 "$1" | od -An -tx1 | grep -q 'ff fe'; then iconv -f UTF-16 -t UTF-8 "$1"; else cat "$1"; fi; }
check_surgical() {  # FILE CHANGED_LINES
    local file=$1 fixed=$work/$(basename "$1" .reg)-fixed.reg changed
    "$scan" --quiet --repair --output "$fixed" "$file" || true
    [ "$(utf8 "$file" | wc -l)" = "$(utf8 "$fixed" | wc -l)" ] || fail "$file: the line count changed"
    changed=$(diff <(utf8 "$file") <(utf8 "$fixed") | grep -c '^>' || true)
    [ "$changed" = "$2" ] || fail "$file: $changed lines changed, expected $2"
    if diff <(utf8 "$file") <(utf8 "$fixed") | grep '^>' | tr -d '\r' | grep -qv '^> "[Dd][Ll][Ll]"="BTCEIF.DLL"$'; then
        fail "$file: a line other than a damaged Dll changed: $(diff <(utf8 "$file") <(utf8 "$fixed") | head -5)"
    fi
}
check_surgical "$source_dir/examples/damaged-device.reg" 2
check_surgical "$source_dir/examples/clean-device.reg" 0

# A Wine export with \n escapes and hex continuations, with comments added,
# and a REGEDIT4 file whose damaged value is hex(1) text over two lines.
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Drivers\\Active\\01]\r\n"Name"="COM5:"\r\n"Key"="Drivers\\\\BT"\r\n\r\n[HKEY_LOCAL_MACHINE\\Drivers\\BT]\r\n"Dll"="OBBTDEV.DLL"\r\n"Note"="a\\nb"\r\n"Blob"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19,1a,1b,1c,1d,1e,1f\r\n' >"$work/source.reg"
"$wine" regedit /S "$(winpath "$work/source.reg")" || fail "regedit /S source.reg"
"$wine" regedit /E "$(winpath "$work/export.reg")" 'HKEY_LOCAL_MACHINE\Drivers' || fail "regedit /E source"
iconv -f UTF-16 -t UTF-8 "$work/export.reg" | sed 's/^\(\[.*\]\)\r$/; before the key\r\n\1\r/' |
    iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$work/wine-export.reg"
grep -q 'a\\nb' <(iconv -f UTF-16 -t UTF-8 "$work/wine-export.reg") || fail "the export has no \\n escape"
check_surgical "$work/wine-export.reg" 1
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial5]\r\n; damaged, as 8-bit text\r\n"Dll"=hex(1):4f,42,42,54,44,45,56,\\\r\n  2e,44,4c,4c,00\r\n"Other"="x"\r\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial6]\r\n"Dll" = "OBBTDEV.DLL"   ; from the installer\r\n' >"$work/hex1.reg"
fixed=$work/hex1-fixed.reg
"$scan" --quiet --repair --output "$fixed" "$work/hex1.reg" || fail "repair of hex1.reg"
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial5]\r\n; damaged, as 8-bit text\r\n"Dll"=hex(1):42,54,43,45,49,46,2e,\\\r\n  44,4c,4c,00\r\n"Other"="x"\r\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial6]\r\n"Dll" = "BTCEIF.DLL"   ; from the installer\r\n' |
    cmp -s - "$fixed" || fail "hex1.reg: more than the value's data changed: $(cat -A "$fixed")"
"$wine" regedit /S "$(winpath "$fixed")" || fail "regedit /S hex1-fixed.reg"
got=$("$wine" reg query 'HKLM\Drivers\BuiltIn\Serial5' /v Dll 2>/dev/null | tr -d '\r' | awk '$1 == "Dll" {print $2, $3}')
[ "$got" = "REG_SZ BTCEIF.DLL" ] || fail "hex1-fixed.reg imports Dll as '$got', expected 'REG_SZ BTCEIF.DLL'"
check_value 'HKLM\Drivers\BuiltIn\Serial6' Dll BTCEIF.DLL

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "regedit interop: both examples import, read back and re-export equal"
