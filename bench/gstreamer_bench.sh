#!/bin/sh
# tesselrawdec beside tsrraw on the convert benchmark's 4096x2160 scene, CPU engine, in one run:
# frames/s of `gst-launch-1.0 ... ! fakesink sync=false` at downscale 1 and 2 and of
# `tsrraw convert -o - --format raw` of the same clip, then accurate seeks (paused, downscale 2).
# Usage: bench/gstreamer_bench.sh [BUILD [FRAMES [ROUNDS]]]
set -eu
build=${1:-build/native}
frames=${2:-24}
rounds=${3:-2}
tsrraw=$build/source/tools/tsrraw
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GST_PLUGIN_PATH="$build/source/gstreamer" GST_REGISTRY="$work/registry.bin"
"$tsrraw" encode --scene --size 4096x2160 --count "$frames" --fps 24 -q -o "$work/clip.mov"
gst-inspect-1.0 tesselrawdec >/dev/null # the registry, before anything is timed

seconds() { # runs "$@", prints its wall time in seconds
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    awk "BEGIN { print $end - $start }"
}
best() { # the fastest of $rounds runs of "$@", as frames/s
    fastest=""
    i=0
    while [ "$i" -lt "$rounds" ]; do
        t=$(seconds "$@")
        if [ -z "$fastest" ] || awk "BEGIN { exit !($t < $fastest) }"; then fastest=$t; fi
        i=$((i + 1))
    done
    awk "BEGIN { printf \"%.2f\", $frames / $fastest }"
}
echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; $frames frames of 4096x2160"
for downscale in 1 2; do
    tool=$(best "$tsrraw" convert --engine cpu --downscale "$downscale" -q -o - --format raw "$work/clip.mov")
    gst=$(best gst-launch-1.0 -q filesrc location="$work/clip.mov" ! qtdemux ! \
        tesselrawdec engine=cpu downscale="$downscale" ! fakesink sync=false)
    echo "downscale $downscale: tsrraw convert $tool frames/s, tesselrawdec $gst frames/s" \
        "($(awk "BEGIN { printf \"%.0f\", 100 * $gst / $tool }")% of the tool)"
done
"$build/bench/gstreamer_seek" "$work/clip.mov" 2
