#!/bin/sh
# make install into a DESTDIR of its own, then the installed tool on the
# damaged example, and its manual page: rendered by man without a warning,
# and naming every option the tool's --help lists.
#
#   install-test.sh BUILD_DIR SOURCE_DIR VERSION
set -eu
build=$1 source=$2 version=$3

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "install-test: $*" >&2; exit 1; }

DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null

# Exactly the tool and its page.
found=$(cd "$root" && find . -type f | sort | tr '\n' ' ')
[ "$found" = "./usr/bin/portmedic-scan ./usr/share/man/man1/portmedic-scan.1.gz " ] ||
    fail "installed: $found"

tool=$root/usr/bin/portmedic-scan
[ "$("$tool" --version)" = "portmedic-scan (PORTMEDIC) $version" ] || fail "--version: $("$tool" --version)"
status=0
"$tool" "$source/examples/damaged-device.reg" >"$root/report" || status=$?
[ "$status" -eq 1 ] || fail "damaged example: exit $status, expected 1"
grep -q 'OBBTDEV.DLL <<<<' "$root/report" || fail "damaged example: no damage in the report"
"$tool" --quiet --repair --output "$root/repaired.reg" "$source/examples/damaged-device.reg" ||
    fail "repair: exit $?"
"$tool" --quiet "$root/repaired.reg" || fail "repaired file: exit $?"

# man -l with every groff warning on: nothing on stderr.
page=$root/usr/share/man/man1/portmedic-scan.1.gz
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" >"$root/page" 2>"$root/warnings" ||
    fail "man -l failed"
[ ! -s "$root/warnings" ] || fail "man -l warns: $(cat "$root/warnings")"
for section in SYNOPSIS DESCRIPTION 'EXIT STATUS' FILES EXAMPLES; do
    grep -q "^$section\$" "$root/page" || fail "the page has no $section section"
done

# Every option of --help: the words starting with - on its option lines.
options=$("$tool" --help | grep -E '^ +-' | grep -oE -- '(^|[ ,])--?[A-Za-z][A-Za-z0-9-]*' |
          tr -d ' ,' | sort -u)
[ -n "$options" ] || fail "no options found in --help"
# An option is listed when a paragraph of the page starts with it.
grep -E '^       -' "$root/page" >"$root/listed" || true
for option in $options; do
    grep -qE -- "(^|[^A-Za-z0-9-])$option([^A-Za-z0-9-]|\$)" "$root/listed" ||
        fail "the page does not list $option"
done
