#!/usr/bin/env python3
"""Decoding and processing a 4096x2160 clip from Python (tesselraw) against the tool doing the
same (`tsrraw convert -o - --format raw`, its output read and dropped), in one run, alternating,
so that both see the same machine load. Prints frames/s of each and the ratio.

    PYTHONPATH=build/native/source/python /usr/bin/python3 bench/python_bench.py \
        [--tsrraw build/native/source/tools/tsrraw] [--frames 24] [--rounds 3] [--engine auto] [--scale 0]
"""

import argparse
import os
import platform
import statistics
import subprocess
import tempfile
import time

import tesselraw


def machine() -> str:
    model = "unknown processor"
    try:
        with open("/proc/cpuinfo") as cpuinfo:
            model = next(line.split(":", 1)[1].strip() for line in cpuinfo if line.startswith("model name"))
    except (OSError, StopIteration):
        pass
    return f"{model}, {os.cpu_count()} logical processors, {platform.system()}"


def tool_rate(tsrraw: str, clip: str, engine: str, scale: int, frames: int) -> float:
    start = time.perf_counter()
    subprocess.run([tsrraw, "convert", clip, "-o", "-", "--format", "raw", "--engine", engine, "--scale",
                    str(scale), "-q"], stdout=subprocess.DEVNULL, check=True)
    return frames / (time.perf_counter() - start)


def python_rate(clip: str, engine: str, scale: int, frames: int) -> float:
    start = time.perf_counter()
    with tesselraw.open(clip) as opened:
        for frame in opened:
            frame.process(engine=engine, scale=scale)
    return frames / (time.perf_counter() - start)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tsrraw", default="build/native/source/tools/tsrraw")
    parser.add_argument("--frames", type=int, default=24)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--engine", default="auto")
    parser.add_argument("--scale", type=int, default=0)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as work:
        clip = os.path.join(work, "clip.mov")
        subprocess.run([args.tsrraw, "encode", "--scene", "--size", "4096x2160", "--count", str(args.frames),
                        "--fps", "24", "-q", "-o", clip], check=True)
        description = next(e["description"] for e in tesselraw.engines() if e["auto"]) \
            if args.engine == "auto" else args.engine
        print(f"machine: {machine()}")
        print(f"clip: 4096x2160, {args.frames} frames, scale {args.scale}, engine {args.engine} ({description})")
        # Each engine is started once before timing (the module keeps its engines between calls;
        # the tool starts its own on every run, as it does for every user).
        python_rate(clip, args.engine, args.scale, args.frames)
        tool, module = [], []
        for round in range(args.rounds):
            tool.append(tool_rate(args.tsrraw, clip, args.engine, args.scale, args.frames))
            module.append(python_rate(clip, args.engine, args.scale, args.frames))
            print(f"round {round + 1}: tsrraw convert {tool[-1]:.2f} frames/s, tesselraw {module[-1]:.2f} frames/s, "
                  f"ratio {module[-1] / tool[-1]:.3f}")
        ratios = [m / t for m, t in zip(module, tool)]
        print(f"median: tsrraw convert {statistics.median(tool):.2f} frames/s, tesselraw "
              f"{statistics.median(module):.2f} frames/s, ratio {statistics.median(ratios):.3f}")


if __name__ == "__main__":
    main()
