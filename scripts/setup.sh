#!/usr/bin/env bash
# Takes a fresh Debian 12 machine to a built tree: installs the Debian packages listed under
# scripts/packages/, then configures and builds every preset.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=$(grep -hv '^\s*#' scripts/packages/*.txt | tr -s ' \n' ' ')
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
missing=""
for p in $packages; do
    [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "== installing:$missing"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
fi

presets="${TSR_PRESETS:-native asan windows fuzz tsan}"
for preset in $presets; do
    echo "== configure and build: $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
