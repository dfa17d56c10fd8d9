#!/usr/bin/env bash
# Runs one tsrraw through every kind of output it makes and prints a sha256 sum of each file and
# of each run's standard output, standard error and exit status, one line per file:
#   scripts/outputhashes.sh TSRRAW OUTDIR
# Two builds compare by their lists: diff <(scripts/outputhashes.sh old/tsrraw /tmp/a) \
#                                         <(scripts/outputhashes.sh new/tsrraw /tmp/b)
# Every run works inside OUTDIR with relative names, so no message holds the folder's path. No
# output embeds a path; times appear only in convert --timings, which is left out, and in the
# frames/s of demo's report, masked below. `devices` describes this machine, so it compares only
# on one machine.
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 TSRRAW OUTDIR" >&2
    exit 2
fi
tsrraw=$(realpath "$1")
out=$2
rm -rf "$out"
mkdir -p "$out"
cd "$out"

# run NAME ARGS...: tsrraw ARGS with its standard output, error and status kept as NAME.*
run() {
    local name=$1
    shift
    local status=0
    "$tsrraw" "$@" >"$name.stdout" 2>"$name.stderr" || status=$?
    echo "$status" >"$name.status"
}
# piped NAME INPUT ARGS...: the same with INPUT on standard input
piped() {
    local name=$1 input=$2
    shift 2
    local status=0
    "$tsrraw" "$@" <"$input" >"$name.stdout" 2>"$name.stderr" || status=$?
    echo "$status" >"$name.status"
}

# Inputs: the scene as a QuickTime clip and as frames back to back, pictures to encode from.
run encode-mov encode --scene -q --size 256x144 --count 4 --timecode 01:02:03:04 -o scene.mov
run encode-tsr encode --scene -q --size 256x144 --count 4 --fps 30000/1001 --qscale 6 --slice-width 4 -o scene.tsr
run encode-ntsc encode --scene -q --size 128x64 --count 3 --fps 30000/1001 --timecode "00:59:59;28" -o ntsc.mov
run encode-tsrh encode --scene -q --size 128x64 --count 2 --fourcc tsrh --pattern 2 --version 0 -o tsrh.mov
run encode-curve encode --scene -q --size 128x64 --tone-curve 0,100,400,900,1600,2500,3200,4095 \
    --quant-matrix 3 --gains 1.5,2 --exposure 1.25 -o curve.tsr
run encode-rate encode --scene -q --size 128x64 --count 2 --bits-per-photosite 2 -o rate.tsr
run decode-png decode -q --frames 0 -o picture.png scene.mov
run decode-tiff decode -q --frames 0 -o picture.tif scene.mov
run convert-exr-in convert -q --engine cpu --frames 0 -o picture.exr scene.mov
run encode-pictures encode -q -o pictures.tsr picture.png picture.tif picture.exr

# A damaged clip: zeros in the middle of frame 1, and the last frame cut short.
cp scene.tsr damaged.tsr
size=$(stat -c %s scene.tsr)
dd if=/dev/zero of=damaged.tsr bs=1 seek=$((size / 4 + 300)) count=3000 conv=notrunc status=none
truncate -s $((size - 500)) damaged.tsr

# info, text and JSON
for clip in scene.mov scene.tsr ntsc.mov tsrh.mov curve.tsr rate.tsr pictures.tsr damaged.tsr; do
    run "info-$clip" info "$clip"
    run "info-all-$clip" info --all --scale 2 "$clip"
    run "info-json-$clip" info --json "$clip"
done
piped info-stdin scene.tsr info --json -
piped info-stdin-mov scene.mov info -

# decode: raw (joined and per frame), PNG and TIFF at every scale, standard input, damage
for scale in 0 1 2 3; do
    run "decode-raw-$scale" decode -q --scale "$scale" -o "decoded$scale.raw" scene.mov
    run "decode-png-$scale" decode -q --scale "$scale" -o "decoded${scale}_%02d.png" scene.tsr
    run "decode-tiff-$scale" decode -q --scale "$scale" --frames 0-1 -o "decoded${scale}_%d.tiff" rate.tsr
done
run decode-perframe decode -q --format raw -o "frame_%03d.raw" tsrh.mov
piped decode-stdin scene.tsr decode -q -o stdin_%d.png -
piped decode-stdin-mov scene.mov decode -q --scale 2 -o stdinmov.raw -
run decode-damaged decode -q -o damaged.raw damaged.tsr
run decode-keepgoing decode -q --keep-going -o kept_%d.png damaged.tsr
run decode-maxpixels decode -q --max-pixels 1000 -o big.raw scene.tsr
run decode-maxpixels-kept decode -q --keep-going --max-pixels 1000 -o big.raw scene.tsr
run info-maxpixels info --all --max-pixels 1000 scene.tsr
run decode-exr decode -q -o nope.exr scene.tsr

# debayer of the decoder's raw output
run debayer-exr debayer -q --engine cpu -o debayered_%d.exr decoded1.raw
run debayer-float debayer -q --engine cpu --type float --curve 3 -o debayered_float_%d.exr decoded0.raw
run debayer-raw debayer -q --engine cpu --frames 1-2 -o debayered.raw decoded2.raw

# convert: every picture format, curve and type, both engines
for engine in cpu opencl; do
    for curve in 0 1 2 3 5 8; do
        run "convert-$engine-exr-$curve" convert -q --engine "$engine" --curve "$curve" -o "c_${engine}_${curve}_%d.exr" scene.mov
        run "convert-$engine-preview-$curve" convert -q --engine "$engine" --curve "$curve" --scale 1 \
            --format preview -o "p_${engine}_${curve}_%d.png" scene.mov
    done
done
for compression in piz zip rle none; do
    run "convert-exr-$compression" convert -q --engine cpu --type float --exr-compression "$compression" \
        --frames 0-1 -o "x_${compression}_%d.exr" scene.tsr
done
run convert-png convert -q --engine cpu --scale 1 -o "png_%d.png" scene.mov
run convert-tiff convert -q --engine cpu --scale 1 --curve 4 -o "tiff_%d.tif" scene.mov
run convert-dpx10 convert -q --engine cpu --scale 1 -o "dpx10_%d.dpx" scene.mov
run convert-dpx16 convert -q --engine cpu --scale 2 --dpx-bits 16 --curve 2 --timecode 10:00:00:00 \
    -o "dpx16_%d.dpx" scene.tsr
run convert-dpxdrop convert -q --engine cpu --scale 2 --timecode "00:59:59;28" -o "dpxdrop_%d.dpx" ntsc.mov
run convert-raw convert -q --engine cpu --scale 2 -o joined.raw scene.mov
run convert-colour convert -q --engine cpu --scale 1 --colour 1.2,1.1,0.9,0.1,0,0.2,0.8,0,0,0,1,1.5 \
    -o colour_%d.exr scene.mov
run convert-keepgoing convert -q --engine cpu --keep-going -o kept_%d.exr damaged.tsr
run convert-damaged convert -q --engine cpu -o damaged_%d.exr damaged.tsr
run convert-nooverlap convert -q --engine cpu --no-overlap --scale 1 -o nooverlap_%d.exr scene.tsr
piped convert-stdin scene.tsr convert -q --engine cpu --scale 2 -o stdin_%d.exr -
# pipes and NUT
run convert-pipe-raw convert -q --engine cpu --scale 2 -o - scene.mov
run convert-pipe-nut convert -q --engine cpu --scale 2 --format nut -o - scene.mov
run convert-nut convert -q --engine cpu --scale 2 --format nut -o stream.nut scene.mov
# proxies: each codec, and the curves' tags
for codec in prores dnxhr h264 hevc ffv1; do
    case $codec in dnxhr) name=proxy_$codec.mxf ;; h264 | hevc) name=proxy_$codec.mp4 ;; *) name=proxy_$codec.mov ;; esac
    run "convert-proxy-$codec" convert -q --engine cpu --codec "$codec" -o "$name" scene.mov
done
for curve in 0 2 5; do
    run "convert-proxy-curve$curve" convert -q --engine cpu --curve "$curve" --scale 1 -o "proxy_curve$curve.mkv" scene.tsr
done
run convert-proxy-quality convert -q --engine cpu --codec h264 --quality 30 -o proxy_q.mkv scene.mov
run convert-proxy-bitrate convert -q --engine cpu --codec hevc --bitrate 2M --scale 1 -o proxy_b.mov scene.mov

# messages and exit statuses of refusals
run error-device convert -q --device 7:7 -o e_%d.exr scene.mov
run error-device-syntax convert -q --device x -o e_%d.exr scene.mov
run error-engine convert -q --engine gpu -o e_%d.exr scene.mov
run error-timecode convert -q --engine cpu --timecode 25:00:00:00 -o e.mov scene.mov
run error-encode-timecode encode --scene -q --size 64x64 --timecode 00:00:00:24 -o e.mov
run error-mp4 encode --scene -q --size 64x64 -o e.mp4
run error-missing info missing.mov
run error-notclip info encode-mov.status
run error-format convert -q --format bmp -o e.bmp scene.mov
run error-several decode -q -o one.png scene.mov
run error-dpxbits convert -q --dpx-bits 16 -o e_%d.exr scene.mov

# the demo, help texts and the device list
run demo demo -q --size 320x180 --count 3 demo
run demo-cpu demo -q --engine cpu --size 160x90 --count 2 democpu
sed -i 's/, [0-9.]* frames\/s$/, (rate) frames\/s/' demo.stdout demo-cpu.stdout
run devices devices
run help --help
for command in info encode decode debayer convert devices demo; do
    run "help-$command" "$command" --help
done

find . -type f -printf '%P\n' | LC_ALL=C sort | xargs -d '\n' sha256sum
