#!/usr/bin/env bash
# PORTMEDIC end to end under Wine: what the program imports, then the driver
# (tests/e2e/Driver.cpp) working the real window, then the screenshots.
#
#   run-e2e.sh WINE_RUN BUILD_DIR OBJDUMP [gui]
#
# WINE_RUN is scripts/wine-run.sh (private prefix beside the programs).
# Without "gui" everything runs inside an Xvfb of its own with a handheld's
# portrait screen (480 x 640); with "gui" only the damaged device is clicked
# through, slowly, on $DISPLAY when there is one, and the screenshots also go
# to docs/screenshots/.
set -euo pipefail

# Inside the X session: the driver, then the prefix's wineserver shut down
# while the display is still there.
if [ "${1:-}" = --driver ]; then
    shift
    status=0
    "$@" || status=$?
    "$1" --finish "$2" || true
    exit $status
fi

wine_run=$1
build=$(cd "$2" && pwd)
objdump=$3
mode=${4:-test}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
shots=$build/screenshots

fail() { echo "FAILED: $*"; exit 1; }
. "$source_dir/scripts/pe-imports.sh"

# ---- imports: system DLLs and our shell, the shell by number only ----------
system_dlls='^(kernel32|user32|gdi32|advapi32|msvcrt)\.dll$'
for f in PORTMEDIC.exe aygshell.dll; do
    while read -r dll; do
        lower=$(echo "$dll" | tr 'A-Z' 'a-z')
        if ! [[ $lower =~ $system_dlls || ( $f == PORTMEDIC.exe && $lower == aygshell.dll ) ]]; then
            fail "$f imports $dll"
        fi
    done < <(pe_import_dlls "$objdump" "$build/$f")
done
echo "ok: PORTMEDIC.exe and aygshell.dll import only system DLLs (and our shell)"

# An entry imported by name shows as "name:LOOKUP" among the numbers.
ordinals=$(pe_import_ordinals "$objdump" "$build/PORTMEDIC.exe" aygshell.dll | tr '\n' ' ')
[ "$ordinals" = "34 56 83 84 " ] || fail "aygshell.dll imports: '$ordinals', want '34 56 83 84'"
echo "ok: PORTMEDIC.exe imports aygshell.dll by ordinals 34 56 83 84 only"

# ---- the driver -------------------------------------------------------------
win() { echo "Z:$1" | tr '/' '\\'; }
rm -rf "$shots"
mkdir -p "$shots"
fixtures=$here
if [ "$mode" = gui ] && [ -f "$source_dir/examples/damaged-device.reg" ]; then
    fixtures=$source_dir/examples
fi
driver=("$wine_run" "$build/portmedic_e2e.exe" "$(win "$build")" "$(win "$build/no-menu-bar")"
        "$(win "$fixtures")" "$(win "$shots")")
status=0
if [ "$mode" = gui ]; then
    export PM_WINE_DIR=$build/gui-wine
    rm -rf "$PM_WINE_DIR"
    if [ -n "${DISPLAY:-}" ]; then "$0" --driver "${driver[@]}" gui || status=$?
    else xvfb-run -a -s "-screen 0 480x640x24" "$0" --driver "${driver[@]}" gui || status=$?; fi
else
    xvfb-run -a -s "-screen 0 480x640x24" "$0" --driver "${driver[@]}" || status=$?
fi

# ---- screenshots ------------------------------------------------------------
for bmp in "$shots"/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo "screenshots: $(cd "$shots" && ls *.png 2>/dev/null | tr '\n' ' ')"
if [ "$mode" = gui ] && [ "$status" -eq 0 ]; then
    mkdir -p "$source_dir/docs/screenshots"
    cp "$shots"/*.png "$source_dir/docs/screenshots/"
    echo "copied to docs/screenshots/"
fi
exit $status
