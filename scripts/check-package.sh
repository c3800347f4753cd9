#!/bin/sh
# Checks the Debian package that make package built: its files, an install
# into a throwaway root, its dependencies against this system, and lintian
# (any error fails; warnings are shown).
#
#   check-package.sh PACKAGE.deb
set -eu
deb=$1
fail() { echo "check-package: $*" >&2; exit 1; }

echo "$ dpkg-deb --info $deb"
dpkg-deb --field "$deb" Package Version Architecture Section Priority Depends
echo
echo "$ dpkg-deb --contents $deb"
dpkg-deb --contents "$deb" | awk '{print $1, $2, $6}'
files=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' | sort | tr '\n' ' ')
want="./usr/bin/portmedic-scan ./usr/share/doc/portmedic-scan/changelog.gz"
want="$want ./usr/share/doc/portmedic-scan/copyright ./usr/share/man/man1/portmedic-scan.1.gz "
[ "$files" = "$want" ] || fail "unexpected contents: $files"

# dpkg -i into an empty root (its own database): the files land under /usr,
# and the installed tool runs.
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
echo
echo "$ dpkg --root=ROOT --force-not-root --force-depends -i $deb"
dpkg --root="$root" --force-not-root --force-depends --force-script-chrootless \
     --log=/dev/null -i "$deb" 2>&1
dpkg --root="$root" -s portmedic-scan | grep -q '^Status: install ok installed' ||
    fail "dpkg did not install the package"
"$root/usr/bin/portmedic-scan" --version

# The dependencies, each checked against this system's installed packages.
echo
arch=$(dpkg --print-architecture)
for dep in $(dpkg-deb --field "$deb" Depends | tr -d ' ' | tr ',' ' '); do
    name=${dep%%(*}
    have=$(dpkg-query -W -f='${Version}' "$name:$arch" 2>/dev/null) || have=
    [ -n "$have" ] || fail "depends on $name, which is not installed here"
    case $dep in
        *'('*)
            op=$(echo "$dep" | sed 's/.*(\([<>=]*\).*/\1/')
            want=$(echo "$dep" | sed 's/.*([<>=]*\(.*\))/\1/')
            case $op in '>=') op=ge ;; '<=') op=le ;; '>>') op=gt ;; '<<') op=lt ;; *) op=eq ;; esac
            dpkg --compare-versions "$have" "$op" "$want" ||
                fail "depends on $dep, this system has $name $have" ;;
    esac
    echo "dependency $dep: $name $have installed"
done

echo
echo "$ lintian $(basename "$deb")"
lintian --fail-on error --display-info "$deb" || fail "lintian reports errors"
echo "lintian: no error"
