#!/usr/bin/env bash
# scripts/install-deps.sh against a fake package manager (fake-apt.sh), one
# case a row: how the machine starts, the groups asked for, the exit status
# and a line the output must hold, and what must be true of the machine
# afterwards.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
installer=$here/../../scripts/install-deps.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
for tool in apt-get dpkg dpkg-query id; do ln -s "$here/fake-apt.sh" "$work/bin/$tool"; done
export PATH=$work/bin:$PATH INSTALL_DEPS_PAUSE=0 INSTALL_DEPS_LOCK_WAIT=30

failures=0
# name | machine (files in the fake's folder) | groups | status | output line | afterwards
while IFS='|' read -r name machine groups status line after; do
    for field in name machine groups status line after; do
        value=${!field}
        value=${value#"${value%%[! ]*}"}
        printf -v "$field" %s "${value%"${value##*[! ]}"}"
    done
    export FAKE=$work/$name
    mkdir -p "$FAKE"
    (cd "$FAKE" && eval "$machine")
    got_status=0
    out=$("$installer" $groups 2>&1) || got_status=$?
    problem=""
    [ "$got_status" -eq "$status" ] || problem="exit status $got_status, not $status"
    grep -qE -- "$line" <<<"$out" || problem+=" no line matching '$line'"
    (cd "$FAKE" && eval "$after") || problem+=" afterwards: not ($after)"
    if [ -n "$problem" ]; then
        echo "FAIL $name:$problem"; sed 's/^/    /' <<<"$out"; failures=$((failures + 1))
    fi
done <<'CASES'
all there      | :                                            | native windows | 0 | ^$ | [ ! -e calls ]
mirror sync    | echo cmake >absent; echo wine32:i386 >>absent; echo i386 >bad-arches; echo wine32:i386 >broken | native windows | 0 | ^install-deps: apt-get update could not fetch http://deb.example/dists/main/binary-i386/Packages.xz \(File has unexpected size | [ ! -s arches ] && ! grep -qx cmake absent && grep -q 'optional wine32:i386 not installed' <<<"$out" && [ "$(grep -c '^apt-get update' calls)" = 2 ]
no wine32      | echo wine32:i386 >absent; echo wine32:i386 >unknown | windows | 0 | ^install-deps: optional wine32:i386 not installed, going on without it: E: Unable to locate package wine32:i386$ | [ ! -s arches ] && grep -c '^apt-get update' calls | grep -qx 1
i386 before    | echo wine32:i386 >absent; echo i386 >arches; echo wine32:i386 >broken | windows | 0 | optional wine32:i386 not installed.*held broken packages | grep -qx i386 arches
wine32 works   | echo wine32:i386 >absent | windows | 0 | installing wine32:i386 \(optional\) | grep -qx i386 arches && [ ! -s absent ]
required gone  | printf '%s\n' cmake help2man wine32:i386 >absent; echo help2man >unknown; echo amd64 >bad-arches | native windows | 1 | ^install-deps: could not install the required packages cmake help2man$ | grep -q 'Unable to locate package help2man' <<<"$out" && grep -q 'index could not be updated' <<<"$out" && [ ! -s arches ] && ! grep -q 'install wine32' calls
bad index      | echo cmake >absent; echo amd64 >bad-arches | native | 0 | binary-amd64/Packages.xz | [ "$(grep -c '^apt-get update' calls)" = 3 ] && [ ! -s absent ] && [ "$(grep -c 'apt-get update' <<<"$out")" = 1 ]
lock held      | echo cmake >absent; echo 2 >lock | native | 0 | ^install-deps: waiting for another program's package-manager lock$ | [ "$(grep -c . calls)" = 4 ] && [ ! -s absent ]
no such group  | : | native nosuch | 2 | ^install-deps: no group 'nosuch'$ | [ ! -e calls ]
CASES
echo "$failures failing case(s)"
[ "$failures" -eq 0 ]
