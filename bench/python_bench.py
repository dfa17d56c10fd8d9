#!/usr/bin/env python3
"""Decoding and processing a 4096x2160 clip from Python (tesselraw) against the tool doing the
same (`tsrraw convert -o - --format raw`, its output dropped), in one run, alternating, so that
both see the same machine load. Each round runs the tool and a Python process that imports the
module and processes every frame; frames/s count from process start to end for both (the
tool's engine start and the interpreter's, the module's import and its engine start included),
and, for Python, also over the loop alone. Prints each round and the medians.

    PYTHONPATH=build/native/source/python /usr/bin/python3 bench/python_bench.py \
        [--tsrraw build/native/source/tools/tsrraw] [--frames 24] [--rounds 3] [--engine auto] [--scale 0]
"""

import argparse
import os
import platform
import resource
import statistics
import subprocess
import tempfile
import sys
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


def child_cpu() -> float:
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def tool_rate(tsrraw: str, clip: str, engine: str, scale: int, frames: int) -> tuple[float, float]:
    """(frames/s, frames per CPU-second) of the tool."""
    start, cpu = time.perf_counter(), child_cpu()
    subprocess.run([tsrraw, "convert", clip, "-o", "-", "--format", "raw", "--engine", engine, "--scale",
                    str(scale), "-q"], stdout=subprocess.DEVNULL, check=True)
    return frames / (time.perf_counter() - start), frames / (child_cpu() - cpu)


def python_loop(clip: str, engine: str, scale: int) -> float:
    """Frames/s of the loop a user writes, engine started by its first frame."""
    start = time.perf_counter()
    count = 0
    with tesselraw.open(clip) as opened:
        for frame in opened:
            frame.process(engine=engine, scale=scale)
            count += 1
    return count / (time.perf_counter() - start)


def python_rate(clip: str, engine: str, scale: int, frames: int) -> tuple[float, float, float]:
    """(frames/s of a whole Python process, frames per CPU-second, frames/s of its loop)."""
    start, cpu = time.perf_counter(), child_cpu()
    out = subprocess.run([sys.executable, __file__, "--child", clip, "--engine", engine, "--scale", str(scale)],
                         stdout=subprocess.PIPE, check=True)
    return frames / (time.perf_counter() - start), frames / (child_cpu() - cpu), float(out.stdout)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tsrraw", default="build/native/source/tools/tsrraw")
    parser.add_argument("--frames", type=int, default=24)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--engine", default="auto")
    parser.add_argument("--scale", type=int, default=0)
    parser.add_argument("--child", metavar="CLIP", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        print(python_loop(args.child, args.engine, args.scale))
        return

    with tempfile.TemporaryDirectory() as work:
        clip = os.path.join(work, "clip.mov")
        subprocess.run([args.tsrraw, "encode", "--scene", "--size", "4096x2160", "--count", str(args.frames),
                        "--fps", "24", "-q", "-o", clip], check=True)
        description = next(e["description"] for e in tesselraw.engines() if e["auto"]) \
            if args.engine == "auto" else args.engine
        print(f"machine: {machine()}")
        print(f"clip: 4096x2160, {args.frames} frames, scale {args.scale}, engine {args.engine} ({description})")
        rows = []  # tool frames/s, tool frames/CPU-s, Python frames/s, Python frames/CPU-s, loop frames/s
        for round in range(args.rounds):
            rows.append(tool_rate(args.tsrraw, clip, args.engine, args.scale, args.frames) +
                        python_rate(clip, args.engine, args.scale, args.frames))
            report(f"round {round + 1}", *rows[-1])
        report("median", *(statistics.median(column) for column in zip(*rows)))


def report(label: str, tool: float, tool_cpu: float, python: float, python_cpu: float, loop: float) -> None:
    print(f"{label}: tsrraw convert {tool:.2f} frames/s ({tool_cpu:.2f} per CPU-s); Python process {python:.2f} "
          f"frames/s ({python_cpu:.2f} per CPU-s; loop alone {loop:.2f} frames/s); ratio {python / tool:.3f} "
          f"(per CPU-s {python_cpu / tool_cpu:.3f})")


if __name__ == "__main__":
    main()
