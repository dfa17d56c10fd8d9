#!/usr/bin/env bash
# oiiotool through the plug-in against tsrraw convert, both turning the frames of one 4096x2160
# clip into OpenEXR files (RGBA half, PIZ) with the same engine, in the same run; the pixels are
# compared too. Two more rows show where oiiotool's time goes: oiiotool rewriting tsrraw's EXR
# files (its own read, conversion and write, no plug-in), and the plug-in alone (Python reading
# every frame) against tsrraw writing raw RGBA to /dev/null. Each job runs twice; the faster
# counts. Wall and CPU seconds (user + system), as other work on the machine moves wall times.
# Usage: bench/openimageio_bench.sh [BUILD [FRAMES]]
set -euo pipefail
build=$(realpath "${1:-build/native}")
frames=${2:-12}
tsrraw=$build/source/tools/tsrraw
export OIIO_LIBRARY_PATH=$build/source/openimageio
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tsrraw" encode --scene --size 4096x2160 --count "$frames" --fps 24 -q -o "$work/clip.mov"
# oiiotool's image cache gives .mov names to OIIO's FFmpeg reader; the same clip named .tsr is ours.
ln -s clip.mov "$work/clip.tsr"
last=$((frames - 1))
mkdir "$work/tsrraw" "$work/oiio" "$work/rewrite"

TIMEFORMAT='%R %U %S'
measure() { # "wall cpu" of the faster of two runs
    local best="" run
    for run in 1 2; do
        local t
        t=$({ time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ print $1, $2 + $3 }')
        if [ -z "$best" ] || awk "BEGIN { exit !(${t% *} < ${best% *}) }"; then best=$t; fi
    done
    echo "$best"
}
row() { # name, "wall cpu"
    awk -v name="$1" -v wall="${2% *}" -v cpu="${2#* }" -v n="$frames" \
        'BEGIN { printf "%-34s %7.2f s wall %7.2f s CPU %6.2f frames/s\n", name, wall, cpu, n / wall }'
}

convert=$(measure "$tsrraw" convert "$work/clip.mov" -q --exr-compression piz -o "$work/tsrraw/frame_%04d.exr")
# One oiiotool process for all frames: --frames runs the command line once per frame number.
oiiotool=$(measure oiiotool --frames "0-$last" "$work/clip.tsr" --subimage "{FRAME_NUMBER}" \
    --compression piz -o "$work/oiio/frame_#.exr")
rewrite=$(measure oiiotool --frames "0-$last" "$work/tsrraw/frame_#.exr" --compression piz \
    -o "$work/rewrite/frame_#.exr")
raw=$(measure "$tsrraw" convert "$work/clip.mov" -q --format raw -o /dev/null)
reader=$(measure /usr/bin/python3 -c "
import OpenImageIO as oiio
clip = oiio.ImageInput.open('$work/clip.mov')
for i in range($frames):
    clip.read_image(i, 0, 0, 4, 'half')")

same=0
for i in $(seq 0 "$last"); do
    n=$(printf %04d "$i")
    idiff -fail 0 -failpercent 0 "$work/tsrraw/frame_$n.exr" "$work/oiio/frame_$n.exr" >/dev/null && same=$((same + 1))
done
echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) CPUs, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "engine: $("$tsrraw" devices | head -1)"
echo "frames: $frames of 4096x2160; oiiotool's EXR pixels equal tsrraw's in $same of them"
row "tsrraw convert to EXR" "$convert"
row "oiiotool through the plug-in to EXR" "$oiiotool"
awk -v a="${oiiotool% *}" -v b="${convert% *}" -v c="${oiiotool#* }" -v d="${convert#* }" \
    'BEGIN { printf "  oiiotool / tsrraw: %.2f wall, %.2f CPU\n", a / b, c / d }'
row "oiiotool EXR to EXR (no plug-in)" "$rewrite"
row "tsrraw convert to raw /dev/null" "$raw"
row "plug-in alone (Python reads)" "$reader"
