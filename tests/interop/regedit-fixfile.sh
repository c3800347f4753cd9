#!/usr/bin/env bash
# The fix file against a real regedit (Wine's), in a throwaway prefix:
# importing REGFILE and then the file `portmedic-scan --fix-file` writes for
# it must give, key for key and value for value (name, type, bytes), the
# registry that importing the repaired file of `--repair --output` gives.
# On the damaged example in both encodings and on exports whose damaged
# values are spelled unusually (hex(1), hex(2), a name in other letter case,
# a key written twice, a damaged key deleted and written again later). The
# fix file keeps REGFILE's header and byte-order mark, holds exactly the
# repaired values as our own reader reads it, and a healthy file gets none.
# The imports land below one sandbox key: every file's roots are moved
# there alike (HKEY_LOCAL_MACHINE\X becomes $sandbox\HKLM\X).
# Usage: regedit-fixfile.sh PORTMEDIC_SCAN REGDUMP WORK_DIR
set -euo pipefail
scan=$1
regdump=$2
work=$3
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
source "$(dirname "$0")/private-prefix.sh"
sandbox='HKEY_CURRENT_USER\PmFix'

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

is_utf16() { head -c 2 "$1" | od -An -tx1 | grep -q 'ff fe'; }

# The values below HKEY_LOCAL_MACHINE as our own reader reads FILE, sorted.
values() { "$regdump" "$1" HKEY_LOCAL_MACHINE | grep '|' | LC_ALL=C sort; }

# FILE's roots moved below the sandbox, in FILE's own encoding.
relocate() {  # FILE OUT
    local move='s/^\[\(-\{0,1\}\)HKEY_CURRENT_USER\\/[\1HKEY_CURRENT_USER\\PmFix\\HKCU\\/I
                s/^\[\(-\{0,1\}\)HKEY_LOCAL_MACHINE\\/[\1HKEY_CURRENT_USER\\PmFix\\HKLM\\/I'
    if is_utf16 "$1"; then
        iconv -f UTF-16 -t UTF-8 "$1" | LC_ALL=C sed "$move" | iconv -f UTF-8 -t UTF-16LE |
            { printf '\xff\xfe'; cat; } >"$2"
    else
        LC_ALL=C sed "$move" "$1" >"$2"
    fi
}

# Imports the files one after another into an empty sandbox and lists what
# regedit made of them, a line per key and value (tests/interop/RegDump.cpp).
import() {  # OUT FILE...
    local out=$1 n=0
    shift
    "$wine" reg delete "$sandbox" /f >/dev/null 2>&1 || true
    for file in "$@"; do
        n=$((n + 1))
        relocate "$file" "$work/import$n.reg"
        "$wine" regedit /S "$(winpath "$work/import$n.reg")" || fail "regedit /S $file"
    done
    rm -f "$work/export.reg"
    "$wine" regedit /E "$(winpath "$work/export.reg")" "$sandbox" || fail "regedit /E after $*"
    "$regdump" "$work/export.reg" "$sandbox" >"$out"
}

check() {  # NAME REGFILE
    local name=$1 file=$2 fix=$work/$1-fix.reg repaired=$work/$1-repaired.reg status=0
    rm -f "$fix"
    "$scan" --quiet --fix-file "$fix" "$file" || status=$?
    [ "$status" = 1 ] || fail "$name: --fix-file exited $status, expected 1 (REGFILE stays damaged)"
    "$scan" --quiet --repair --output "$repaired" "$file" || fail "$name: --repair failed"
    [ -s "$fix" ] || { fail "$name: no fix file"; return; }
    [ "$(head -c 2 "$fix")" = "$(head -c 2 "$file")" ] || fail "$name: the fix file's encoding differs"
    # Read back with our own reader, the fix file holds the values the
    # repair changed and nothing else.
    LC_ALL=C comm -13 <(values "$file") <(values "$repaired") >"$work/$name-changed.txt"
    values "$fix" | cmp -s - "$work/$name-changed.txt" ||
        fail "$name: the fix file (<) does not hold exactly the repaired values (>):
$(values "$fix" | diff - "$work/$name-changed.txt" | head -10)"
    import "$work/$name-original.txt" "$file"
    import "$work/$name-via-fix.txt" "$file" "$fix"
    import "$work/$name-via-repair.txt" "$repaired"
    # The comparison can fail: without the fix, the damage is there.
    cmp -s "$work/$name-original.txt" "$work/$name-via-repair.txt" &&
        fail "$name: the repaired file imports as the original does"
    cmp -s "$work/$name-via-fix.txt" "$work/$name-via-repair.txt" ||
        fail "$name: REGFILE then the fix file (<) and the repaired file (>) import differently:
$(diff "$work/$name-via-fix.txt" "$work/$name-via-repair.txt" | head -10)"
}

# Text as a version 5 export in UTF-16LE with its byte-order mark.
utf16() { printf '\xff\xfe'; printf 'Windows Registry Editor Version 5.00\r\n%s\n' "$1" | iconv -f UTF-8 -t UTF-16LE; }

# The bundled damaged example, as it is and as a version 5 UTF-16 export.
check example-v4 "$source_dir/examples/damaged-device.reg"
{ printf '\xff\xfe'; sed '1s/^REGEDIT4/Windows Registry Editor Version 5.00/' \
    "$source_dir/examples/damaged-device.reg" | iconv -f CP1252 -t UTF-16LE; } >"$work/damaged-v5.reg"
check example-v5 "$work/damaged-v5.reg"

# Unusual spellings. $1 and $2 spell "OBBTDEV.DLL" and "---BTCEIF.DLL" as
# hex bytes of 8-bit text (REGEDIT4) or of UTF-16LE (version 5).
unusual() {
    sed 's/$/\r/' <<EOF
[HKEY_LOCAL_MACHINE\\Drivers\\Active\\01]
"Name"="COM4:"
"Key"="Drivers\\\\BT4"

[HKEY_LOCAL_MACHINE\\Drivers\\BT4]
"DLL"="obbtdev.dll"
"Prefix"="COM"

[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial5]
"Dll"=hex(1):$1
"Index"=dword:00000005

[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial8]
"dll"=hex(2):$2

[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial2]
"Dll"="---BTCEIF.DLL"

[hkey_local_machine\\drivers\\builtin\\serial2]
"Prefix"="COM"

[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial9]
"Dll"="OBBTDEV.DLL"
"Old"="x"

[-HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial9]

[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial9]
"Dll"="---btceif.dll"
"New"="y"
EOF
}
obbtdev8=4f,42,42,54,44,45,56,2e,44,4c,4c,00
btceif8=2d,2d,2d,42,54,43,45,49,46,2e,44,4c,4c,00
{ printf 'REGEDIT4\r\n\r\n'; unusual "$obbtdev8" "$btceif8"; } >"$work/unusual-v4.reg"
check unusual-v4 "$work/unusual-v4.reg"
wide() { echo "$1" | sed 's/,/,00,/g; s/$/,00/'; }
utf16 "$(unusual "$(wide "$obbtdev8")" "$(wide "$btceif8")")" >"$work/unusual-v5.reg"
check unusual-v5 "$work/unusual-v5.reg"

# A healthy export gets no fix file.
"$scan" --quiet --fix-file "$work/clean-fix.reg" "$source_dir/examples/clean-device.reg" ||
    fail "clean example: exit $?"
[ ! -e "$work/clean-fix.reg" ] || fail "clean example: a fix file was written"

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "regedit fix file: REGFILE then its fix file imports as the repaired file does"
