#!/usr/bin/env bash
# Runs a Windows program under Wine, in a private prefix of its own.
#
#   wine-run.sh PROGRAM.exe [ARGS...]   run it (ctest's emulator for the Windows builds)
#   wine-run.sh --finish PROGRAM.exe    shut the program's prefix down (wineserver -k)
#   wine-run.sh --can-run-32            exit 0 when this machine runs 32-bit Wine
#
# A 32-bit program runs in a 32-bit prefix (WINEARCH=win32), a 64-bit one in a
# 64-bit prefix. Prefixes live in the folder "wine" beside the program
# (PM_WINE_DIR overrides): "template" is made once (15 to 20 s), and each
# program gets a copy of it, "prefix-NAME" (under a second), so suites never
# share registry state and never touch the user's own ~/.wine. The settings
# are pinned: no Wine debug output, and LANG=C.UTF-8 so that the ANSI code
# page is 1252.
set -euo pipefail

wine32_loader=/usr/lib/wine/wine
wine64_loader=/usr/lib/wine/wine64

# 32-bit Wine is a 32-bit Linux program: kernels built or booted without
# 32-bit support (ia32_emulation=off) cannot start it.
can_run_32() { [ -x "$wine32_loader" ] && "$wine32_loader" --version >/dev/null 2>&1; }

if [ "${1:-}" = "--can-run-32" ]; then can_run_32; exit; fi

finish=0
if [ "${1:-}" = "--finish" ]; then finish=1; shift; fi
program=${1:?usage: wine-run.sh [--finish] PROGRAM.exe [ARGS...]}
shift

program_dir=$(cd "$(dirname "$program")" && pwd)
root=${PM_WINE_DIR:-$program_dir/wine}
name=$(basename "$program" .exe)
prefix=$root/prefix-$name

export WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
# No Mono or Gecko installer dialogs while a prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WINESERVER WINELOADER

if [ "$finish" -eq 1 ]; then
    if [ -d "$prefix" ]; then WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; fi
    exit 0
fi

# The machine type in the program's PE header: 14c is i386, 8664 is x86-64.
pe_offset=$(od -An -tu4 -j60 -N4 "$program" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$program" | tr -d ' ' | sed 's/^0*//')
case "$machine" in
    14c)
        export WINEARCH=win32
        loader=$wine32_loader
        if ! can_run_32; then
            echo "wine-run: this machine cannot run 32-bit Wine (no 32-bit support in the kernel)" >&2
            exit 126
        fi ;;
    8664)
        export WINEARCH=win64
        loader=$wine64_loader ;;
    *)
        echo "wine-run: $program is not a Windows program for x86 (machine '$machine')" >&2
        exit 126 ;;
esac
template=$root/template-$WINEARCH

make_template() {
    rm -rf "$template" "$template.tmp"
    mkdir -p "$template.tmp"
    (
        export WINEPREFIX=$template.tmp
        "$loader" wineboot -i >/dev/null 2>&1 || true
        # Without a window manager Wine waits 2 s for every managed window
        # that closes; unmanaged windows close at once.
        "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        wineserver -w
        # Wine's own fonts (fonts-wine: Marlett for the caption buttons, the
        # System and Tahoma faces): Debian's Wine does not look for them in
        # its data folder, so the prefix's Fonts folder links them.
        if [ -d /usr/share/wine/fonts ]; then
            ln -sf /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
        fi
    )
    echo "$stamp" >"$template.tmp/.complete"
    mv "$template.tmp" "$template"
}

# What a template is made from: this script and the fonts it links. A
# template or prefix made by another recipe (an older checkout, fonts
# installed since) is made again rather than trusted.
stamp=$({ cat "$0"; ls /usr/share/wine/fonts 2>/dev/null; } | sha1sum | cut -c1-16)

mkdir -p "$root"
(
    flock 9
    [ "$(cat "$template/.complete" 2>/dev/null)" = "$stamp" ] || make_template
    if [ "$(cat "$prefix/.complete" 2>/dev/null)" != "$stamp" ]; then
        rm -rf "$prefix" "$prefix.tmp"
        cp -a "$template" "$prefix.tmp"
        mv "$prefix.tmp" "$prefix"
    fi
) 9>"$root/.lock"

export WINEPREFIX=$prefix
exec "$loader" "$program" "$@"
