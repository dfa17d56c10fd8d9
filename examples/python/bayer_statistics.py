#!/usr/bin/env python3
"""Per-channel statistics of a clip's Bayer samples: for each of the four photosites of the
Bayer cell (named by the frame's pattern), the mean, spread, range and the share of samples at
or above the white level, over every frame of the clip.

    python3 bayer_statistics.py clip.mov [--frames N]
"""

import argparse
import itertools

import numpy as np

import tesselraw

# The cell's four photosites (top-left, top-right, bottom-left, bottom-right) for patterns 0..3.
CELLS = [("R", "G1", "G2", "B"), ("G1", "R", "B", "G2"), ("G1", "B", "R", "G2"), ("B", "G1", "G2", "R")]


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("clip")
    parser.add_argument("--frames", type=int, default=None, help="only the first N frames")
    args = parser.parse_args()

    sums = np.zeros(4)
    squares = np.zeros(4)
    low = np.full(4, np.iinfo(np.uint16).max)
    high = np.zeros(4, np.int64)
    clipped = np.zeros(4)
    count = 0
    with tesselraw.open(args.clip) as clip:
        print(f"{args.clip}: {len(clip)} frames of {clip.width}x{clip.height}, {clip.frame_rate} frames/s")
        for frame in itertools.islice(clip, args.frames):
            if frame.damaged:
                print(f"frame {frame.index}: {frame.damaged}")
            bayer = frame.bayer()
            white = frame.info["white_level"]
            # The four photosites of every 2x2 cell, as four planes of (H/2, W/2).
            planes = [bayer[y::2, x::2].astype(np.float64) for y in (0, 1) for x in (0, 1)]
            for i, plane in enumerate(planes):
                sums[i] += plane.sum()
                squares[i] += np.square(plane).sum()
                low[i] = min(low[i], plane.min())
                high[i] = max(high[i], plane.max())
                clipped[i] += np.count_nonzero(plane >= white)
            count += planes[0].size
            names = CELLS[frame.info["bayer_pattern"]]
    mean = sums / count
    spread = np.sqrt(np.maximum(squares / count - mean**2, 0))
    print(f"{'site':>4} {'mean':>9} {'std':>9} {'min':>6} {'max':>6} {'clipped':>8}")
    for i, name in enumerate(names):
        print(f"{name:>4} {mean[i]:9.1f} {spread[i]:9.1f} {low[i]:6d} {high[i]:6d} {100 * clipped[i] / count:7.3f}%")


if __name__ == "__main__":
    main()
