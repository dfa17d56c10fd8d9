#!/usr/bin/env bash
# Decoding speed per core of the photographic benchmark picture: our frame decoder (one worker,
# about 2.3 bits per photosite, one sample per photosite) beside FFmpeg's DNxHR 444 decoder (one
# thread, 10-bit 4:4:4, three samples per pixel) on the same picture. Both rates are samples per
# second of CPU time (user + system), which other work on a shared machine disturbs less than
# the wall clock. Runs each decoder `rounds` times, alternating, and prints every figure.
#
# usage: bench/compare_dnxhr.sh [build folder (build/native)] [rounds (3)]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/native}"
rounds="${2:-3}"
bench="$build/bench/decoder_bench"
frames=40

if ! command -v ffmpeg >/dev/null; then
    echo "ffmpeg not found: nothing to compare" >&2
    exit 0
fi
[ -x "$bench" ] || { echo "$bench not built" >&2; exit 1; }
python=""
for candidate in /usr/bin/python3 python3; do
    if "$candidate" -c "import skimage.data, numpy" 2>/dev/null; then python="$candidate"; break; fi
done
[ -n "$python" ] || { echo "python3 with scikit-image not found" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$python" bench/photo_mosaic.py "$work/mosaic.u16" "$work/picture.rgb48"
ffmpeg -hide_banner -loglevel error -f rawvideo -pix_fmt rgb48le -s 4096x2160 -i "$work/picture.rgb48" -frames:v 1 \
    -c:v dnxhd -profile:v dnxhr_444 -pix_fmt yuv444p10le "$work/dnxhr.mov"
dnxBits=$(awk -v b="$(stat -c %s "$work/dnxhr.mov")" 'BEGIN { printf "%.2f", b * 8 / (4096 * 2160 * 3) }')

printf '%-6s %-34s %-34s %s\n' round "ours Msamples/cpu-s (bits/sample)" "DNxHR 444 Msamples/cpu-s (bits/sample)" ratio
for round in $(seq "$rounds"); do
    line=$("$bench" --benchmark_filter='DecodePhoto/tenths:23/scale:0/threads:1/' --benchmark_min_time=2 2>/dev/null |
        grep DecodePhoto)
    ours=$(sed -n 's/.*Mphotosites\/cpu-s=\([0-9.]*\).*/\1/p' <<<"$line")
    oursBits=$(sed -n 's/.*bits\/photosite=\([0-9.]*\).*/\1/p' <<<"$line")
    times=$(ffmpeg -hide_banner -nostats -benchmark -threads 1 -stream_loop $((frames - 1)) -i "$work/dnxhr.mov" \
        -f null - 2>&1 | sed -n 's/.*utime=\([0-9.]*\)s stime=\([0-9.]*\)s.*/\1 \2/p')
    dnx=$(awk -v t="$times" -v n="$frames" 'BEGIN { split(t, a, " "); printf "%.1f", n * 4096 * 2160 * 3 / (a[1] + a[2]) / 1e6 }')
    printf '%-6s %-34s %-34s %.2f\n' "$round" "$ours ($oursBits)" "$dnx ($dnxBits)" "$(awk -v a="$ours" -v b="$dnx" 'BEGIN { print a / b }')"
done
uptime
