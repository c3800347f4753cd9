#!/usr/bin/env bash
# The device program's headers and imports, as a Pocket PC loader needs them:
#
#   check-exe.sh OBJDUMP PORTMEDIC.exe
#
# ARM (machine 0x01C0), CE GUI subsystem 3.0, loaded at 0x10000 with its
# relocations kept and a 64 KiB stack, without the "uniprocessor only" mark
# (0x4000, which strip would set), sections on 4 KiB pages and 512-byte
# file blocks, no thread-local storage or load-configuration directory
# (CE 3.0's loader knows neither), aware of high-resolution screens (the
# resource holding the word 1), and importing COREDLL.dll by name and
# AYGSHELL.dll by number (34 56 83 84) and nothing else; RegFlushKey, which
# an older COREDLL may lack, is looked up at run time instead.
set -euo pipefail
objdump=$1
exe=$2
. "$(dirname "$0")/../../scripts/pe-imports.sh"

failed=0
check() {  # check WHAT ACTUAL WANTED
    if [ "$2" = "$3" ]; then
        echo "ok: $1: $2"
    else
        echo "FAILED: $1: '$2', want '$3'"
        failed=1
    fi
}

# The file header's machine, at the PE header's offset (file offset 0x3C) + 4.
pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
check "PE signature" "$(od -An -c -j"$pe" -N4 "$exe" | tr -d ' ')" 'PE\0\0'
check "machine" "0x$(od -An -tx2 -j$((pe + 4)) -N2 "$exe" | tr -d ' ')" 0x01c0

header=$("$objdump" -p "$exe")
field() { printf '%s\n' "$header" | awk -v f="$1" '$1 == f { print $2; exit }'; }
check "subsystem" "$(field Subsystem)" 00000009
check "subsystem version" "$(field MajorSubsystemVersion).$(field MinorSubsystemVersion)" 3.0
check "image base" "$(field ImageBase)" 00010000
check "stack reserve (CE's 64 KiB)" "$(field SizeOfStackReserve)" 00010000
check "uniprocessor-only flag" $(($(printf '0x%s' "$(field Characteristics | sed 's/^0x//')") & 0x4000)) 0
# CE maps each section on pages of its own with that section's protection.
check "section alignment" "$(field SectionAlignment)" 00001000
check "file alignment" "$(field FileAlignment)" 00000200
directory() {  # the address and size of data directory $1 (hexadecimal digit)
    printf '%s\n' "$header" | awk -v e="$1" '$1 == "Entry" && $2 == e { print $3, $4; exit }'
}
check "thread-local storage directory" "$(directory 9)" "00000000 00000000"
check "load-configuration directory" "$(directory a)" "00000000 00000000"
# Without it Windows Mobile pixel-doubles the program on a 480 x 640 screen.
# Its data is the word 1 (01 00); the leaf gives its address and size.
leaf=$(printf '%s\n' "$header" | awk '/name: .*: CEUX,/ { t = 1 }
    t && /name: .*: HI_RES_AWARE,/ { r = 1 }
    r && /Leaf: Addr:/ { gsub(",", ""); print $4, $6; exit }')
hires=absent
if [ -n "$leaf" ]; then
    read -r address size <<<"$leaf"
    start=$((16#$(field ImageBase) + address))
    hires=$("$objdump" -s -j .rsrc --start-address=$start --stop-address=$((start + size)) "$exe" |
            awk '/^ [0-9a-f]+ / { print $2; exit }')
fi
check "HI_RES_AWARE resource of type CEUX, its data" "$hires" 0100
reloc=$("$objdump" -h "$exe" | awk '$2 == ".reloc" { print $3 }')
check ".reloc section" "$([ -n "$reloc" ] && [ $((16#$reloc)) -gt 0 ] && echo present)" present

check "imported DLLs" "$(pe_import_dlls "$objdump" "$exe" | sort | tr '\n' ' ')" \
    "AYGSHELL.dll COREDLL.dll "
check "AYGSHELL.dll entries" "$(pe_import_ordinals "$objdump" "$exe" AYGSHELL.dll | tr '\n' ' ')" \
    "34 56 83 84 "
check "RegFlushKey not imported" \
    "$(printf '%s\n' "$header" | awk '$NF == "RegFlushKey"' | wc -l | tr -d ' ')" 0
check "COREDLL.dll entries imported by number" \
    "$(pe_import_ordinals "$objdump" "$exe" COREDLL.dll | grep -vc '^name:' || true)" 0
exit $failed
