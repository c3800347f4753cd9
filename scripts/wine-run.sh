#!/usr/bin/env bash
# Runs a Windows program under Wine, in a private prefix of its own.
#
#   wine-run.sh PROGRAM.exe [ARGS...]   run it (ctest's emulator for the Windows builds)
#   wine-run.sh --finish PROGRAM.exe    shut the program's prefix down (wineserver -k)
#   wine-run.sh --can-run-32            exit 0 when this machine runs 32-bit Wine
#   wine-run.sh --why-not-32            say in one line why it cannot
#   wine-run.sh --prefix ARCH ROOT NAME make ROOT/prefix-NAME afresh (ARCH win32
#                                       or win64) and print its path
#   wine-run.sh --check ARCH NAME       fail, naming the file, when NAME changed
#                                       a file its prefix shares with the template
#
# A 32-bit program runs in a 32-bit prefix (WINEARCH=win32), a 64-bit one in a
# 64-bit prefix. A program's prefix, "prefix-NAME", lives in the folder "wine"
# beside it (PM_WINE_DIR overrides) and is made in a fraction of a second from
# a template that every build shares, build/wine/template-ARCH
# (PM_WINE_TEMPLATES overrides build/wine), made once in 10 to 20 s. So
# suites never share registry state and never touch the user's own ~/.wine.
# The settings are pinned: no Wine debug output, and LANG=C.UTF-8 so that the
# ANSI code page is 1252.
#
# A prefix is 700 MB, nearly all of it the programs, libraries and language
# tables in drive_c/windows, which Wine only reads: a prefix shares those
# with its template (hard links) and has copies of everything else (the
# registry files, dosdevices, the .ini files). The shared files are
# read-only, so a program that writes into one fails; root writes anyway,
# so after every run the template's shared files are compared with what
# they were when it was made: a change fails the run, naming the file, and
# the template and every prefix made from it are made again.
set -euo pipefail

wine32_loader=/usr/lib/wine/wine
wine64_loader=/usr/lib/wine/wine64

# 32-bit Wine is a 32-bit Linux program: kernels built or booted without
# 32-bit support (ia32_emulation=off) cannot start it.
can_run_32() { [ -x "$wine32_loader" ] && "$wine32_loader" --version >/dev/null 2>&1; }

if [ "${1:-}" = "--can-run-32" ]; then can_run_32; exit; fi
if [ "${1:-}" = "--why-not-32" ]; then
    if [ ! -x "$wine32_loader" ]; then
        echo "32-bit Wine (wine32:i386) is not installed; scripts/install-deps.sh windows says why"
    elif ! can_run_32; then
        echo "this machine cannot run 32-bit Wine (no 32-bit support in the kernel)"
    fi
    exit 0
fi

export WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
# No Mono or Gecko installer dialogs while a prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WINESERVER WINELOADER

# The files a prefix shares with its template.
shared='.*\.(dll|exe|drv|sys|ocx|acm|cpl|tlb|ax|ds|nls|com|msstyles)'
# The shared files as they are: path, size, modification time, mode.
shared_state() {
    (cd "$1" && find drive_c -type f -regextype posix-extended -iregex "$shared" \
         -printf '%p %s %T@ %m\n' | LC_ALL=C sort)
}

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
    (cd "$template.tmp" && find drive_c -type f -regextype posix-extended -iregex "$shared" \
         -exec chmod a-w {} +)
    shared_state "$template.tmp" >"$template.tmp/.shared"
    # The prefixes made from this template carry the same line: one made
    # from an earlier template is made again.
    echo "$stamp $(date +%s.%N) $$" >"$template.tmp/.complete"
    mv "$template.tmp" "$template"
}

# ROOT/prefix-NAME from the template: hard links to the shared files, copies
# of the rest (copies of everything on another file system).
make_prefix() {
    rm -rf "$prefix" "$prefix.tmp"
    cp -al "$template" "$prefix.tmp" 2>/dev/null || { rm -rf "$prefix.tmp"; cp -a "$template" "$prefix.tmp"; }
    (cd "$template" && find . -regextype posix-extended ! -type d ! -iregex "$shared" -print0 |
         xargs -0r cp -a --parents --remove-destination -t "$prefix.tmp")
    mv "$prefix.tmp" "$prefix"
}

# What a template is made from: this script, the fonts it links and Wine
# itself (Wine brings a prefix up to date, rewriting its libraries in place,
# when the wine.inf it was made from changes). A template or prefix made by
# another recipe is made again rather than trusted.
stamp=$({ cat "$0"; ls /usr/share/wine/fonts 2>/dev/null;
          ls -l --time-style=+%s.%N /usr/share/wine/wine.inf 2>/dev/null; } | sha1sum | cut -c1-16)

templates=${PM_WINE_TEMPLATES:-$(cd "$(dirname "$0")/.." && pwd)/build/wine}
lock=$templates/.lock

# Under the templates' lock: the template made when missing or out of date,
# and the prefix when it was not made from that template (or always, "fresh").
ready() { # ROOT NAME [fresh]
    prefix=$1/prefix-$2
    mkdir -p "$1" "$templates"
    (
        flock 9
        [ "$(cut -d' ' -f1 "$template/.complete" 2>/dev/null)" = "$stamp" ] || make_template
        if [ -n "${3:-}" ] || ! cmp -s "$template/.complete" "$prefix/.complete"; then
            make_prefix
        fi
    ) 9>"$lock"
}

# Whether NAME left the template's shared files as they were; if not, the
# template goes, and with it every prefix made from it.
check() { # NAME
    local changed
    changed=$({
        flock 9
        [ -f "$template/.shared" ] || exit 0
        shared_state "$template" | diff "$template/.shared" - | sed -n 's/^> \([^ ]*\) .*/\1/p'
    } 9>"$lock")
    [ -n "$changed" ] || return 0
    echo "wine-run: $1 wrote into $(echo "$changed" | head -n 3 | tr '\n' ' ')in its prefix," \
         "which every prefix shares with $template: the template and its prefixes are made again" >&2
    (flock 9; rm -f "$template/.complete") 9>"$lock"
    return 1
}

case "${1:-}" in
    --prefix|--check)
        export WINEARCH=$2
        loader=$wine64_loader
        [ "$WINEARCH" = win64 ] || loader=$wine32_loader
        template=$templates/template-$WINEARCH
        if [ "$1" = --check ]; then check "$3"; exit; fi
        ready "$3" "$4" fresh
        echo "$prefix"
        exit 0 ;;
esac

finish=0
if [ "${1:-}" = "--finish" ]; then finish=1; shift; fi
program=${1:?usage: wine-run.sh [--finish] PROGRAM.exe [ARGS...]}
shift

program_dir=$(cd "$(dirname "$program")" && pwd)
root=${PM_WINE_DIR:-$program_dir/wine}
name=$(basename "$program" .exe)

if [ "$finish" -eq 1 ]; then
    prefix=$root/prefix-$name
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

template=$templates/template-$WINEARCH
ready "$root" "$name"
status=0
WINEPREFIX=$prefix "$loader" "$program" "$@" || status=$?
check "$name" || exit 125
exit "$status"
