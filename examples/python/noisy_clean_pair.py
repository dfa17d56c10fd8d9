#!/usr/bin/env python3
"""A noisy/clean training pair from one frame of a clip, for a denoising data set.

The clean target is the frame's own Bayer mosaic; the noisy input adds photon noise (Poisson,
scaled by a gain in electrons per sensor unit) and read noise (Gaussian) above the black level,
then goes through the codec like a camera's frame would (encode, decode). Both are processed by
the same engine to linear BT.2020 RGB and saved with the mosaics in one .npz file.

    python3 noisy_clean_pair.py clip.mov pair.npz [--frame N] [--gain 0.5] [--read-noise 4] [--scale 1]
"""

import argparse

import numpy as np

import tesselraw

BLACK = 256


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("clip")
    parser.add_argument("output")
    parser.add_argument("--frame", type=int, default=0)
    parser.add_argument("--gain", type=float, default=0.5, help="electrons per sensor unit (lower: noisier)")
    parser.add_argument("--read-noise", type=float, default=4.0, help="sensor units, standard deviation")
    parser.add_argument("--scale", type=int, default=0, help="size of the RGB pictures: 0 full .. 3 eighth")
    parser.add_argument("--seed", type=int, default=0)
    args = parser.parse_args()

    with tesselraw.open(args.clip) as clip:
        frame = clip[args.frame]
    clean = frame.bayer()
    info, metadata = frame.info, frame.metadata

    rng = np.random.default_rng(args.seed)
    signal = np.maximum(clean.astype(np.float64) - BLACK, 0)
    electrons = rng.poisson(signal * args.gain) / args.gain
    noisy = BLACK + electrons + rng.normal(0, args.read_noise, clean.shape)
    noisy = np.clip(np.rint(noisy), 0, info["white_level"]).astype(np.uint16)

    # Through the codec with the frame's own pattern, levels and colour, at a fine quantiser.
    data = tesselraw.encode(noisy, pattern=info["bayer_pattern"], quality=1, white_level=info["white_level"],
                            gains=(metadata["gain0"], metadata["gain1"]), matrix=metadata["color_matrix"],
                            exposure=metadata["aux_float"])
    noisy_frame = tesselraw.decode(data)

    np.savez_compressed(
        args.output,
        clean_bayer=clean,
        noisy_bayer=noisy_frame.bayer(),
        clean_rgb=frame.process(dtype="float32", scale=args.scale)[..., :3],
        noisy_rgb=noisy_frame.process(dtype="float32", scale=args.scale)[..., :3],
        bayer_pattern=info["bayer_pattern"],
    )
    difference = noisy_frame.bayer().astype(np.float64) - clean
    print(f"{args.output}: frame {args.frame} of {args.clip}, noise {difference.std():.1f} sensor units rms, "
          f"compressed noisy frame {len(data)} bytes")


if __name__ == "__main__":
    main()
