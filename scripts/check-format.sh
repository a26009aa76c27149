#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what .clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h')
bad=()
for f in $files; do
    clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
    echo "Not formatted with .clang-format:" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
echo "formatting: $(echo "$files" | wc -w) files checked"
