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
# A new group is one more packages_NAME list below (optional_NAME for what
# the work can do without). Safe to run again and again: it only calls
# apt-get when a package is missing.
#
# Required packages that cannot be installed stop the run, with apt-get's
# own message and their names. An optional one that cannot be installed is
# named in one line and left out; if it needed a foreign architecture that
# this run added, the architecture goes again, so a later `apt-get update`
# does not trip over an index it cannot fetch. A failed `apt-get update`
# (a mirror in the middle of a sync) is retried, then named and passed
# over: the install that follows says whether the indexes at hand suffice.
set -euo pipefail

packages_native=(g++ cmake make libgtest-dev help2man)
packages_test=(valgrind clang-format locales)
packages_release=(man-db groff-base dpkg-dev lintian)
packages_windows=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686
                  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
                  googletest  # GoogleTest's sources, compiled by each Windows build
                  wine wine64 fonts-wine xvfb xauth xdotool imagemagick x11-apps
                  python3)  # draws the program's icon; reads the suites' reports
# 32-bit Wine: without it the win32 suites do not run (scripts/wine-run.sh
# --can-run-32), as on a kernel without 32-bit support.
optional_windows=(wine32:i386)
packages_armel=(g++-arm-linux-gnueabi qemu-user-static googletest)
packages_fuzz=(clang libclang-rt-14-dev)
packages_bench=(libbenchmark-dev python3 bc time)
packages_wince=(g++-arm-linux-gnueabi binutils-source gcc-12-source bison flex texinfo xz-utils
                make gcc libc6-dev python3  # gcc/make build binutils; python3 runs scripts/wince-cc
                libunicorn-dev gcab cabextract)  # the CE runner's emulated ARM; the install cabinet

# How often a failed `apt-get update` is tried, the pause between tries, and
# how long a package-manager lock held by another program is waited for.
update_tries=3
pause=${INSTALL_DEPS_PAUSE:-10}
lock_wait=${INSTALL_DEPS_LOCK_WAIT:-300}

groups=("$@")
[ "${#groups[@]}" -gt 0 ] || groups=(native)

required=()
optional=()
for g in "${groups[@]}"; do
    if ! declare -p "packages_$g" >/dev/null 2>&1; then
        echo "install-deps: no group '$g'" >&2
        exit 2
    fi
    list="packages_${g}[@]"
    required+=("${!list}")
    if declare -p "optional_$g" >/dev/null 2>&1; then
        list="optional_${g}[@]"
        optional+=("${!list}")
    fi
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

missing_of() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
    done
}

# apt-get with its output kept in $apt_out, waiting while another program
# holds the package manager's lock.
apt_out=""
apt_get() {
    local status deadline=$((SECONDS + lock_wait)) told=0
    while :; do
        status=0
        apt_out=$(DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o Acquire::Retries=3 \
                  -o DPkg::Lock::Timeout="$lock_wait" "$@" 2>&1) || status=$?
        [ "$status" -ne 0 ] && [ "$SECONDS" -lt "$deadline" ] &&
            grep -q 'Could not get lock' <<<"$apt_out" || return "$status"
        [ "$told" -eq 1 ] || echo "install-deps: waiting for another program's package-manager lock"
        told=1
        sleep "$pause"
    done
}

# A failed update is tried again, then reported, one line per index it
# could not fetch; the install that follows decides whether the indexes at
# hand are enough.
updated=0
update_failed=0
update() { # [TRIES]
    local try line failed tries=${1:-$update_tries}
    updated=1
    update_failed=0
    for ((try = 1; try <= tries; try++)); do
        # A failed fetch is a warning (W:) or an error (E:): both count.
        if apt_get update -qq && ! grep -q '^[WE]: Failed to fetch' <<<"$apt_out"; then
            return 0
        fi
        [ "$try" -eq "$tries" ] || sleep "$pause"
    done
    update_failed=1
    # The indexes it could not fetch; apt-get's errors when it names none.
    failed=$(sed -n 's/^[WE]: Failed to fetch \([^ ]*\) *\(.*\)$/could not fetch \1 (\2)/p' <<<"$apt_out")
    [ -n "$failed" ] || failed=$(sed -n 's/^E: /failed: /p' <<<"$apt_out")
    while IFS= read -r line; do
        echo "install-deps: apt-get update $line; going on with the indexes at hand" >&2
    done <<<"$failed"
}

mapfile -t missing < <(missing_of "${required[@]}")
mapfile -t missing_optional < <(missing_of "${optional[@]}")

if [ "${#missing[@]}" -gt 0 ]; then
    update
    echo "install-deps: installing ${missing[*]}"
    if ! apt_get install -y -qq --no-install-recommends "${missing[@]}"; then
        echo "$apt_out" >&2
        echo "install-deps: could not install the required packages ${missing[*]}" >&2
        [ "$update_failed" -eq 0 ] ||
            echo "install-deps: the package index could not be updated (above); see README.md" >&2
        exit 1
    fi
fi

# A foreign architecture this run added for a package it then could not
# install goes again when the run ends, also when it is cut short.
added_arch=""
drop_added_arch() {
    [ -n "$added_arch" ] || return 0
    $SUDO dpkg --remove-architecture "$added_arch" ||
        echo "install-deps: could not remove the $added_arch architecture again" >&2
    added_arch=""
}
trap drop_added_arch EXIT

# Optional packages, one by one, once everything required is in place; the
# index is tried once for them, as each `make` tries them again.
for p in "${missing_optional[@]}"; do
    arch=""
    [[ "$p" != *:* ]] || arch=${p##*:}
    if [ -n "$arch" ] && [ "$arch" != "$(dpkg --print-architecture)" ] &&
       ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        $SUDO dpkg --add-architecture "$arch"
        added_arch=$arch
        update 1
    elif [ "$updated" -eq 0 ]; then
        update 1
    fi
    echo "install-deps: installing $p (optional)"
    if apt_get install -y -qq --no-install-recommends "$p"; then
        added_arch=""
        continue
    fi
    why=$(grep -m1 '^E: ' <<<"$apt_out" || tail -n 1 <<<"$apt_out")
    echo "install-deps: optional $p not installed, going on without it: $why" >&2
done

# Test group: a decimal-comma locale, so the tests that write and read
# numbers under a process locale other than "C" run instead of skipping.
if printf '%s\n' "${groups[@]}" | grep -qx test &&
   ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
    echo "install-deps: generating the de_DE.UTF-8 locale"
    $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
