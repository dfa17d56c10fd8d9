#!/bin/sh
# Speed of a half-size ProRes proxy from a 4096x2160 clip, with the CPU engine, and an ffprobe
# summary of the proxy. Usage: bench/proxy_bench.sh [TSRRAW [FRAMES]]
set -eu
tsrraw=${1:-build/native/source/tools/tsrraw}
frames=${2:-24}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tsrraw" encode --scene --size 4096x2160 --count "$frames" --fps 24 -q -o "$work/clip.mov"
"$tsrraw" convert --engine cpu --codec prores --downscale 2 --timings -q -o "$work/proxy.mov" "$work/clip.mov"
# The same with a fixed quantiser, which skips the encoder's search for each slice's quantiser.
"$tsrraw" convert --engine cpu --codec prores --quality 4 --downscale 2 --timings -q -o "$work/fixed.mov" "$work/clip.mov"
if command -v ffprobe >/dev/null; then
    ffprobe -v error -show_entries format=duration,size,bit_rate:stream=codec_name,profile,width,height,pix_fmt,r_frame_rate,nb_frames,color_range,color_space,color_transfer,color_primaries:stream_tags=timecode -of default=noprint_wrappers=1 "$work/proxy.mov"
fi
