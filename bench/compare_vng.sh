#!/bin/sh
# OpenCV's VNG demosaic (8-bit, COLOR_BayerRG2RGB_VNG, one thread) on a 4096x2160 mosaic against
# the CPU engine's Bayer chain (bp16 to half, curve 1, one thread) on the AVX2 and AVX3 targets,
# measured in the same run: Mpixel/s per core by processor time (the steadier figure on a shared
# machine) and by wall time, and the engine's ratio to VNG.
# Usage: bench/compare_vng.sh [CPUENGINE_BENCH]. Without python3-opencv it says so and exits 0.
set -eu
bench=${1:-build/native/bench/cpuengine_bench}

python=""
for candidate in /usr/bin/python3 python3; do
    if "$candidate" -c "import cv2, numpy" >/dev/null 2>&1; then
        python=$candidate
        break
    fi
done
if [ -z "$python" ]; then
    echo "compare_vng: python3-opencv is not installed; nothing measured"
    exit 0
fi

vng=$("$python" - <<'EOF'
import time
import cv2
import numpy as np

cv2.setNumThreads(1)
width, height = 4096, 2160
# A textured 8-bit mosaic: gradients, a few edges and noise (VNG's time hardly depends on it).
rng = np.random.default_rng(1)
y, x = np.mgrid[0:height, 0:width].astype(np.float32)
scene = 96 + 60 * np.sin(x / 37.0) * np.cos(y / 23.0) + 40 * ((x // 256 + y // 256) % 2)
mosaic = np.clip(scene + rng.normal(0, 6, scene.shape), 0, 255).astype(np.uint8)
cv2.cvtColor(mosaic, cv2.COLOR_BayerRG2RGB_VNG)  # warm-up
frames = 5
wall, processor = time.perf_counter(), time.process_time()
for _ in range(frames):
    cv2.cvtColor(mosaic, cv2.COLOR_BayerRG2RGB_VNG)
wall, processor = time.perf_counter() - wall, time.process_time() - processor
pixels = width * height * frames / 1e6
print(f"{pixels / processor:.1f} {pixels / wall:.1f}")
EOF
)
set -- $vng
vng_cpu=$1
vng_wall=$2
echo "OpenCV $("$python" -c 'import cv2; print(cv2.__version__)') VNG, 8-bit, one thread: $vng_cpu Mpixel/s per core by processor time, $vng_wall by wall time"

if [ ! -x "$bench" ]; then
    echo "compare_vng: $bench not found; build the native preset's cpuengine_bench"
    exit 0
fi
json=$(mktemp)
trap 'rm -f "$json"' EXIT
OCL_ICD_VENDORS=/nonexistent "$bench" --benchmark_filter='BM_CpuEngine/(AVX3|AVX2)/bayer:1/curve:1/float:0/threads:1/' \
    --benchmark_format=json --benchmark_out="$json" --benchmark_out_format=json >/dev/null 2>&1 || true
"$python" - "$json" "$vng_cpu" "$vng_wall" <<'EOF'
import json, sys
path, vng_cpu, vng_wall = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
try:
    results = json.load(open(path))["benchmarks"]
except (OSError, ValueError, KeyError):
    results = []
if not results:
    print("compare_vng: the engine benchmark gave no AVX2 or AVX3 figure on this processor")
for result in results:
    target = result["name"].split("/")[1]
    cpu, wall = result["Mpixel/cpu-s"], result["Mpixel/s/thread"]
    print(f"CPU engine {target}, bp16 to half, curve 1, one thread: {cpu:.1f} Mpixel/s per core by processor "
          f"time ({cpu / vng_cpu:.2f} x VNG), {wall:.1f} by wall time ({wall / vng_wall:.2f} x VNG)")
EOF
