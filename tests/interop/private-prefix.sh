# Sourced by the regedit tests: a fresh 64-bit Wine prefix of the script's
# own, made by scripts/wine-run.sh from the template in the folder "wine"
# beside $work (the libraries shared, the registry its own); one wineserver
# kept up for it until the script ends; and winpath to name a Linux file as
# Wine sees it (drive Z:). At the end the prefix's shared files are checked:
# a change fails the script.
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
wine_run=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/wine-run.sh
rm -rf "$work"
mkdir -p "$work"
wine_root=$(dirname "$work")/wine
WINEPREFIX=$("$wine_run" --prefix win64 "$wine_root" "$(basename "$work")")
export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
trap '"$wineserver" -k >/dev/null 2>&1 || true
      "$wine_run" --check win64 "$(basename "$work")" || exit 1' EXIT
# One server for the whole script: otherwise each command may find the last
# one's server shutting down (3 s after it went idle) and race it for the
# prefix's registry files.
"$wineserver" -p
winpath() { echo "Z:$1" | tr / '\\'; }
