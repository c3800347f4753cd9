#!/usr/bin/env bash
# Installs what the build and the test suites need, and nothing that is already there.
# Safe to run again and again: it only calls apt-get when a package is missing.
set -euo pipefail

native_pkgs=(g++ cmake make libgtest-dev googletest libbenchmark-dev clang libclang-rt-14-dev valgrind)

missing=()
for p in "${native_pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    echo "install-deps: installing ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
