#!/bin/sh
# The Windows bundle: a zip of the 32-bit PORTMEDIC.exe, aygshell.dll and
# portmedic-scan.exe with a README.txt (CRLF line ends, for Notepad). Each
# file is checked to be a 32-bit PE file that needs no DLL beyond Windows'
# own and aygshell.dll; the copies in the zip are stripped of symbols.
#
#   dist-windows.sh ZIP README OBJDUMP STRIP FILE...
set -eu
zip=$1 readme=$2 objdump=$3 strip=$4
shift 4
fail() { echo "dist-windows: $*" >&2; exit 1; }

name=$(basename "$zip" .zip)
stage=$(dirname "$zip")/$name
rm -rf "$stage" "$zip"
mkdir -p "$stage"
for f in "$@"; do
    "$objdump" -f "$f" | grep -q 'file format pei-i386$' || fail "$f is not a 32-bit PE file"
    for dll in $("$objdump" -p "$f" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z'); do
        case $dll in
            kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | msvcrt.dll | aygshell.dll) ;;
            *) fail "$(basename "$f") needs $dll, which is not in the bundle" ;;
        esac
    done
    cp "$f" "$stage/"
    "$strip" --strip-all "$stage/$(basename "$f")"
done
sed 's/$/\r/' "$readme" >"$stage/README.txt"
(cd "$stage/.." && cmake -E tar cf "$name.zip" --format=zip "$name")
rm -rf "$stage"
echo "$zip:"
cmake -E tar tvf "$zip"
