# Shell functions that read a PE file's imports from `objdump -p`, for the
# checks of what a program imports. Source it: . scripts/pe-imports.sh
#
#   pe_import_dlls OBJDUMP FILE          the imported DLLs, one name a line
#   pe_import_ordinals OBJDUMP FILE DLL  the numbers DLL's entries are
#                                        imported by, sorted, one a line; an
#                                        entry imported by name comes out as
#                                        "name:LOOKUP" and sorts first

pe_import_dlls() {
    "$1" -p "$2" | sed -n 's/^\s*DLL Name: //p'
}

# In an import table's listing the first column of an entry is its lookup
# value: its top bit marks an import by number, and the number is in its
# low 16 bits (8 hexadecimal digits in a 32-bit file, 16 in a 64-bit one).
pe_import_ordinals() {
    local v
    for v in $("$1" -p "$2" |
               awk -v dll="$3" '/DLL Name:/ { on = (tolower($3) == tolower(dll)); next }
                                /^$/ { on = 0 }
                                on && /^[ \t]+[0-9a-f]+[ \t]/ { print $1 }'); do
        if [ "${#v}" -ge 8 ] && [ "${v:0:1}" = 8 ]; then
            echo "$((16#${v: -4}))"
        else
            echo "name:$v"
        fi
    done | sort -n
}
