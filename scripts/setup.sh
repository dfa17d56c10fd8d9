#!/usr/bin/env bash
# Takes a fresh Debian 12 machine to a built tree: installs the Debian packages listed under
# scripts/packages/, then configures and builds every preset.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=$(grep -hv '^\s*#' scripts/packages/*.txt | tr -s ' \n' ' ')
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
missing=$(dpkg-query -W -f='${Package} ${Status}\n' $packages 2>/dev/null | grep -v 'install ok installed' | cut -d' ' -f1 || true)
missing="$missing $(for p in $packages; do dpkg-query -W "$p" >/dev/null 2>&1 || echo "$p"; done)"
if [ -n "$(echo $missing)" ]; then
    echo "== installing: $(echo $missing | tr ' ' '\n' | sort -u | tr '\n' ' ')"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
fi

presets="${TSR_PRESETS:-native asan}"
for preset in $presets; do
    echo "== configure and build: $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
