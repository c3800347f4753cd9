#!/usr/bin/env bash
# The installation cabinet as a device's installer meets it:
#
#   check-cab.sh CAB INI PORTMEDIC.exe CE_RUNNER FIXTURE_DIR PYTHON SETUP_ARG...
#
# cabextract lists the setup file first and then the program, both under
# 8.3 names; the cabinet is stored uncompressed; the program extracted from
# it is byte for byte PORTMEDIC.exe and passes the runner's scenarios as it
# comes out of the cabinet; an independent reader accepts the setup file
# with the values the installer must see; and the setup file and cabinet
# made again from the same inputs (SETUP_ARG... as the build gives them to
# scripts/wince-setup.py) are the same bytes, as a rebuild of the program
# is (no link time in it). INI, the application manager's file, names the
# cabinet, in CRLF lines.
set -euo pipefail
cab=$1 ini=$2 exe=$3 runner=$4 fixtures=$5 python=$6
shift 6
here=$(dirname "$0")
scripts=$here/../../scripts
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

members=$(cabextract -l "$cab" | awk -F' [|] ' 'NF == 3 && $1 ~ /[0-9]/ { printf "%s ", $3 }')
[ "$members" = "PORTME~1.000 PORTME~1.001 " ] || fail "members '$members'"
echo "ok: members $members"

# The first folder's compression, after the 36-byte cabinet header (which
# must have no reserved area: flags 0): 0 is none.
u16() { od -An -tu2 -j"$1" -N2 "$cab" | tr -d ' '; }
[ "$(u16 30)" = 0 ] && [ "$(u16 42)" = 0 ] || fail "cabinet flags $(u16 30), compression $(u16 42)"
echo "ok: stored uncompressed"

cabextract -q -d "$tmp/out" "$cab"
cmp "$tmp/out/PORTME~1.001" "$exe" || fail "the program in the cabinet differs from $exe"
echo "ok: the program is $exe, byte for byte"

"$python" "$here/check-setup-file.py" "$tmp/out/PORTME~1.000" || fail "setup file"

"$runner" "$tmp/out/PORTME~1.001" "$fixtures" || fail "scenarios on the program from the cabinet"

"$python" "$scripts/wince-setup.py" "$tmp/again.000" "$@"
cmp "$tmp/again.000" "$tmp/out/PORTME~1.000" || fail "the setup file made again differs"
"$scripts/wince-cab.sh" "$tmp/again.cab" PORTME~1 "$tmp/again.000" "$exe"
cmp "$tmp/again.cab" "$cab" || fail "the cabinet made again differs"
echo "ok: made again, the same setup file and cabinet"
# A rebuild of the program gives the same cabinet too only if the linker
# left the time out of the PE header (at the header's offset + 8).
pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
[ "$(od -An -tu4 -j$((pe + 8)) -N4 "$exe" | tr -d ' ')" = 0 ] || fail "the program has a link time"
echo "ok: the program has no link time"

[ "$(grep -c $'\r$' "$ini")" = "$(wc -l <"$ini")" ] || fail "$ini has lines without CR"
tr -d '\r' <"$ini" >"$tmp/ini"
component=$(sed -n 's/^Component = //p' "$tmp/ini")
for line in '[CEAppManager]' 'Version = 1.0' "[$component]" "CabFiles = $(basename "$cab")"; do
    grep -qxF "$line" "$tmp/ini" || fail "$ini has no line '$line'"
done
grep -q '^Description = .' "$tmp/ini" || fail "$ini has no description"
echo "ok: $ini names $(basename "$cab")"
