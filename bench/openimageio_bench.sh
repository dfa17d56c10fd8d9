#!/bin/sh
# oiiotool through the plug-in against tsrraw convert, both turning the frames of one 4096x2160
# clip into OpenEXR files (RGBA half, PIZ) on the same engine, timed in the same run; each job
# is run twice and the faster run counts. The frames' pixels are compared too.
# Usage: bench/openimageio_bench.sh [BUILD [FRAMES]]
set -eu
build=${1:-build/native}
frames=${2:-12}
tsrraw=$build/source/tools/tsrraw
export OIIO_LIBRARY_PATH=$build/source/openimageio
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tsrraw" encode --scene --size 4096x2160 --count "$frames" --fps 24 -q -o "$work/clip.mov"
# oiiotool's image cache gives .mov names to OIIO's FFmpeg reader; the same clip named .tsr is ours.
ln -s clip.mov "$work/clip.tsr"
last=$((frames - 1))

seconds() { # the wall time of a command, in seconds
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    awk "BEGIN { print $end - $start }"
}
best() { # the faster of two runs
    a=$(seconds "$@")
    b=$(seconds "$@")
    awk "BEGIN { print ($a < $b) ? $a : $b }"
}

mkdir "$work/tsrraw" "$work/oiio"
t_tsrraw=$(best "$tsrraw" convert "$work/clip.mov" -q --exr-compression piz -o "$work/tsrraw/frame_%04d.exr")
# One oiiotool process for all frames: --frames runs the command line once per frame number.
t_oiio=$(best oiiotool --frames "0-$last" "$work/clip.tsr" --subimage "{FRAME_NUMBER}" \
    --compression piz -o "$work/oiio/frame_#.exr")

same=0
for i in $(seq 0 "$last"); do
    n=$(printf %04d "$i")
    idiff -fail 0 -failpercent 0 "$work/tsrraw/frame_$n.exr" "$work/oiio/frame_$n.exr" >/dev/null && same=$((same + 1))
done
echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) CPUs; engine: $("$tsrraw" devices | head -1)"
echo "frames: $frames of 4096x2160, identical pixels: $same"
awk "BEGIN { printf \"tsrraw convert   : %6.2f s  %5.2f frames/s\\n\", $t_tsrraw, $frames / $t_tsrraw
             printf \"oiiotool         : %6.2f s  %5.2f frames/s\\n\", $t_oiio, $frames / $t_oiio
             printf \"oiiotool / tsrraw: %.2f\\n\", $t_oiio / $t_tsrraw }"
