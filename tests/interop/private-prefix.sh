# Sourced by the regedit tests: a fresh 64-bit Wine prefix in $work/prefix,
# one wineserver kept up for it until the script ends, and winpath to name a Linux
# file as Wine sees it (drive Z:).
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
# One server for the whole script: otherwise each command may find the last
# one's server shutting down (3 s after it went idle) and race it for the
# prefix's registry files.
mkdir -p "$WINEPREFIX"
"$wineserver" -p
"$wine" wineboot -i >/dev/null 2>&1
winpath() { echo "Z:$1" | tr / '\\'; }
