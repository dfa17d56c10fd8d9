#!/usr/bin/env bash
# Checks the tree against the project's conventions:
#   scripts/lint.sh           clang-format over every tracked source file (check only), then
#                             clang-tidy's naming rules over the files changed since main
#   scripts/lint.sh format    the clang-format check alone (fast; CI runs it)
#   scripts/lint.sh tidy [REV] the clang-tidy check alone, on the files changed since REV (main)
#   scripts/lint.sh fix       rewrites every tracked source file with clang-format
# clang-tidy reads build/native/compile_commands.json: configure the native preset first.
set -euo pipefail
cd "$(dirname "$0")/.."

mode="${1:-all}"
format_bin=$(command -v clang-format-14 || command -v clang-format)
# The tracked sources; outside a repository (an unpacked source archive) every such file outside
# build folders.
sources() {
    if command -v git >/dev/null && git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files -- '*.c' '*.cpp' '*.h' '*.cl'
    else
        find . \( -path ./build -o -path './.*' \) -prune -o -type f \
            \( -name '*.c' -o -name '*.cpp' -o -name '*.h' -o -name '*.cl' \) -print | sed 's|^\./||' | sort
    fi
}

check_format() {
    echo "== clang-format"
    sources | xargs -r "$format_bin" --dry-run --Werror
}

check_tidy() {
    local base="${1:-main}"
    local tidy_bin
    tidy_bin=$(command -v clang-tidy-14 || command -v clang-tidy)
    if [ ! -f build/native/compile_commands.json ]; then
        echo "lint: build/native/compile_commands.json is missing: run 'cmake --preset native' first" >&2
        return 1
    fi
    # Only translation units the native build compiles; headers are checked through them.
    local changed
    changed=$( (git diff --name-only "$base" -- '*.cpp'; git ls-files --others --exclude-standard -- '*.cpp') |
        sort -u | while read -r f; do
            [ -f "$f" ] && grep -q "\"file\": \"$PWD/$f\"" build/native/compile_commands.json && echo "$f"
        done || true)
    echo "== clang-tidy ($(echo "$changed" | grep -c . || true) changed files since $base)"
    [ -z "$changed" ] || echo "$changed" | xargs "$tidy_bin" -p build/native --quiet --warnings-as-errors='*'
}

case "$mode" in
    all) check_format && check_tidy ;;
    format) check_format ;;
    tidy) check_tidy "${2:-main}" ;;
    fix) sources | xargs -r "$format_bin" -i ;;
    *) echo "usage: scripts/lint.sh [format|tidy [REV]|fix]" >&2; exit 2 ;;
esac
