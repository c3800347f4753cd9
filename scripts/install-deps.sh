#!/usr/bin/env bash
# Installs what a part of the work needs, and nothing that is already there.
#
#   scripts/install-deps.sh [GROUP...]     (no group: native)
#
#   native   the native build: the scan tool, its manual page (help2man)
#            and its unit suites
#   test     what `make test` adds natively: valgrind, the format check,
#            and a decimal-comma locale (de_DE.UTF-8) for the number tests
#   release  make install and make package: man-db/groff render the page in
#            the tests, dpkg-dev's dpkg-shlibdeps gives the Debian package its
#            dependencies, lintian checks it
#   windows  the Windows builds (mingw-w64, 32- and 64-bit) and Wine inside
#            Xvfb to run them, with Wine's own fonts
#   armel    the libraries' suites built for ARM Linux (ARMv5TE) and run
#            under qemu-arm-static, with GoogleTest's sources
#   fuzz     the libFuzzer targets (clang and its runtime)
#   bench    the benchmarks (Google Benchmark; python3, bc and time for the scan
#            beside Python's line split)
#   wince    the Pocket PC build: Debian's ARM GCC, and binutils' and GCC's
#            sources from which scripts/wince-toolchain.sh builds the CE tools;
#            Unicorn, on which the CE runner runs the program
#
# A new group is one more packages_NAME list below. Safe to run again and
# again: it only calls apt-get when a package is missing.
set -euo pipefail

packages_native=(g++ cmake make libgtest-dev help2man)
packages_test=(valgrind clang-format locales)
packages_release=(man-db groff-base dpkg-dev lintian)
packages_windows=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686
                  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
                  googletest  # GoogleTest's sources, compiled by each Windows build
                  wine wine64 wine32:i386 fonts-wine xvfb xauth xdotool imagemagick x11-apps
                  python3)  # draws the program's icon; reads the suites' reports
packages_armel=(g++-arm-linux-gnueabi qemu-user-static googletest)
packages_fuzz=(clang libclang-rt-14-dev)
packages_bench=(libbenchmark-dev python3 bc time)
packages_wince=(g++-arm-linux-gnueabi binutils-source gcc-12-source bison flex texinfo xz-utils
                make gcc libc6-dev python3  # gcc/make build binutils; python3 runs scripts/wince-cc
                libunicorn-dev gcab cabextract)  # the CE runner's emulated ARM; the install cabinet

groups=("$@")
[ "${#groups[@]}" -gt 0 ] || groups=(native)

wanted=()
for g in "${groups[@]}"; do
    list="packages_${g}[@]"
    if ! declare -p "packages_$g" >/dev/null 2>&1; then
        echo "install-deps: no group '$g'" >&2
        exit 2
    fi
    wanted+=("${!list}")
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

need_update=0
# wine32 is an i386 package.
if printf '%s\n' "${wanted[@]}" | grep -q ':i386$' &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "install-deps: adding the i386 architecture"
    $SUDO dpkg --add-architecture i386
    need_update=1
fi

missing=()
for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ] || [ "$need_update" -eq 1 ]; then
    $SUDO apt-get update -qq
fi
if [ "${#missing[@]}" -gt 0 ]; then
    echo "install-deps: installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq -o DPkg::Lock::Timeout=300 --no-install-recommends "${missing[@]}"
fi

# Test group: a decimal-comma locale, so the tests that write and read
# numbers under a process locale other than "C" run instead of skipping.
if printf '%s\n' "${groups[@]}" | grep -qx test &&
   ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
    echo "install-deps: generating the de_DE.UTF-8 locale"
    $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
