#!/usr/bin/env bash
# Fails, naming them, when tracked .cpp/.h files are not laid out as
# .clang-format says. Mend one with: clang-format -i FILE
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
# One clang-format for all files; each place it would change is one
# "FILE:LINE:COLUMN: error:" line.
status=0
out=$(clang-format --dry-run -Werror "${files[@]}" 2>&1) || status=$?
bad=$(printf '%s\n' "$out" | sed -n -E 's/^([^:]+):[0-9]+:[0-9]+: error:.*/\1/p' | sort -u)
if [ -n "$bad" ]; then
    echo "format: these files are not formatted (clang-format -i FILE):"
    printf '  %s\n' $bad
    exit 1
fi
if [ "$status" -ne 0 ]; then
    printf '%s\n' "$out"
    exit "$status"
fi
echo "format: ${#files[@]} files formatted"
