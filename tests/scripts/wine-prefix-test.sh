#!/usr/bin/env bash
# The Wine prefixes of scripts/wine-run.sh share their template's libraries:
# a program that writes into its prefix's system32 must not change what a
# later prefix gets. Wine's own cmd.exe does the writing, in a template and
# prefixes of this test's own (the writing must not disturb suites that run
# beside it). Usage: wine-prefix-test.sh WORK_DIR
set -uo pipefail
run=$(cd "$(dirname "$0")/../../scripts" && pwd)/wine-run.sh
work=$1
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
cmd=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/cmd.exe
cp "$cmd" "$work/writer.exe"
cp "$cmd" "$work/reader.exe"
victim=drive_c/windows/system32/notepad.exe
original=$(sha1sum <"$(dirname "$cmd")/notepad.exe")
export PM_WINE_DIR=$work/wine PM_WINE_TEMPLATES=$work/templates
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

status=0
out=$("$run" "$work/writer.exe" /c 'echo damage>>C:\windows\system32\notepad.exe' 2>&1) || status=$?
if [ "$(sha1sum <"$PM_WINE_DIR/prefix-writer/$victim")" != "$original" ]; then
    # The write went through (root writes into read-only files): the run must
    # fail, naming the file.
    [ "$status" -eq 125 ] || fail "the writer's run ended with $status, not 125"
    grep -q "wine-run: writer wrote into $victim in its prefix" <<<"$out" || fail "no line naming $victim: $out"
fi
"$run" "$work/reader.exe" /c 'exit 3'
[ "$?" -eq 3 ] || fail "the reader's run did not end with its program's status"
[ "$(sha1sum <"$PM_WINE_DIR/prefix-reader/$victim")" = "$original" ] ||
    fail "a prefix made after the writer's run has its changed $victim"
[ "$(stat -c %h "$PM_WINE_DIR/prefix-reader/$victim")" -gt 1 ] ||
    fail "$victim is not shared with the template"
for f in system.reg user.reg userdef.reg .update-timestamp; do
    [ "$(stat -c %h "$PM_WINE_DIR/prefix-reader/$f")" -eq 1 ] || fail "$f is shared with the template"
done
[ "$failures" -eq 0 ]
