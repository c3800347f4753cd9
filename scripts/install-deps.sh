#!/usr/bin/env bash
# Installs what the build and the test suites need, and nothing that is already there.
# Safe to run again and again: it only calls apt-get when a package is missing.
set -euo pipefail

native_pkgs=(g++ cmake make libgtest-dev googletest libbenchmark-dev clang libclang-rt-14-dev valgrind)
# The Windows builds (mingw-w64, 32- and 64-bit) and Wine inside Xvfb to run them.
windows_pkgs=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686
              g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
              wine wine64 wine32:i386 xvfb xauth xdotool imagemagick x11-apps
              python3)  # python3 draws the program's icon (app/MakeIcon.py)
# Install and release (make install, make package): help2man writes the
# manual page and man-db/groff render it in the tests; dpkg-dev's
# dpkg-shlibdeps gives the Debian package its dependencies; lintian checks it.
release_pkgs=(help2man man-db groff-base dpkg-dev lintian)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# wine32 is an i386 package.
need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "install-deps: adding the i386 architecture"
    $SUDO dpkg --add-architecture i386
    need_update=1
fi

missing=()
for p in "${native_pkgs[@]}" "${windows_pkgs[@]}" "${release_pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ] || [ "$need_update" -eq 1 ]; then
    $SUDO apt-get update -qq
fi
if [ "${#missing[@]}" -gt 0 ]; then
    echo "install-deps: installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Native set: a decimal-comma locale, so the tests that write and read numbers
# under a process locale other than "C" run instead of skipping.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
    if ! dpkg-query -W -f='${Status}' locales 2>/dev/null | grep -q "install ok installed"; then
        $SUDO apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends locales
    fi
    echo "install-deps: generating the de_DE.UTF-8 locale"
    $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
