#!/usr/bin/env bash
# Long runs, left out of scripts/test.sh: 10 000 frames (TSR_SOAK_FRAMES) through `tsrraw convert`
# and through both Windows transforms under Wine, checking that memory, descriptors or handles and
# OpenCL references stop growing after warm-up. Needs the native and windows presets built.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in native windows; do
    echo "== soak: $preset"
    cmake --build --preset "$preset"
    ctest --test-dir "build/$preset" -L soak --output-on-failure
done
