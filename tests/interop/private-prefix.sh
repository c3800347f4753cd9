# Sourced by the regedit tests: a fresh 64-bit Wine prefix in $work/prefix,
# its wineserver shut down when the script ends, and winpath to name a Linux
# file as Wine sees it (drive Z:).
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
"$wine" wineboot -i >/dev/null 2>&1
winpath() { echo "Z:$1" | tr / '\\'; }
