#!/usr/bin/env bash
# A bundle for one kind of Windows: a zip of its program files with a
# README.txt (CRLF line ends, for Notepad). Each file is checked to be a PE
# file of the bundle's kind that needs no DLL but the ones allowed; the
# copies in the zip are stripped of symbols (unless STRIP is "-": a file
# the linker already stripped, which strip would mark anew). EXTRA files
# (an installation cabinet, its .ini) go in as they are.
#
#   dist-zip.sh ZIP README OBJDUMP STRIP FORMAT DLLS FILE... [-- EXTRA...]
#
# FORMAT is objdump's name for the file format (pei-i386, pei-arm-wince-little);
# DLLS the allowed DLL names, lower case, separated by spaces.
set -eu
. "$(dirname "$0")/pe-imports.sh"
zip=$1 readme=$2 objdump=$3 strip=$4 format=$5 dlls=$6
shift 6
fail() { echo "dist-zip: $*" >&2; exit 1; }

name=$(basename "$zip" .zip)
stage=$(dirname "$zip")/$name
rm -rf "$stage" "$zip"
mkdir -p "$stage"
extras=0
for f in "$@"; do
    if [ "$f" = -- ]; then extras=1; continue; fi
    [ -f "$f" ] || fail "$f is missing"
    if [ $extras = 1 ]; then cp "$f" "$stage/"; continue; fi
    "$objdump" -f "$f" | grep -q "file format $format\$" || fail "$f is not a $format file"
    for dll in $(pe_import_dlls "$objdump" "$f" | tr 'A-Z' 'a-z'); do
        case " $dlls " in
            *" $dll "*) ;;
            *) fail "$(basename "$f") needs $dll, which is not allowed in this bundle" ;;
        esac
    done
    cp "$f" "$stage/"
    [ "$strip" = - ] || "$strip" --strip-all "$stage/$(basename "$f")"
done
sed 's/$/\r/' "$readme" >"$stage/README.txt"
(cd "$stage/.." && cmake -E tar cf "$name.zip" --format=zip "$name")
rm -rf "$stage"
echo "$zip:"
cmake -E tar tvf "$zip"
