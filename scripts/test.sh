#!/usr/bin/env bash
# Runs every test suite of every built preset; fails on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

# Formatting first: it takes seconds and fails fast.
bash scripts/lint.sh format

presets="${TSR_PRESETS:-native asan windows fuzz tsan}"
for preset in $presets; do
    echo "== build and test: $preset"
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j2
done
