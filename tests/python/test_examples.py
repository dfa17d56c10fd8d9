"""The examples of examples/python run on the scene clip and say what they should."""

import os
import pathlib
import subprocess
import sys

import numpy as np

from conftest import HEIGHT, WIDTH

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples" / "python"


def run_example(name: str, *args: str) -> str:
    result = subprocess.run([sys.executable, str(EXAMPLES / name), *args], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, env=os.environ)
    assert result.returncode == 0, result.stderr.decode()
    return result.stdout.decode()


def test_bayer_statistics(clip_path: str) -> None:
    lines = run_example("bayer_statistics.py", clip_path).splitlines()
    assert lines[0].endswith(f"3 frames of {WIDTH}x{HEIGHT}, 25 frames/s")
    # Pattern 1 (G R / B G): the cell's sites in its order, each with plausible values.
    sites = [line.split() for line in lines[2:]]
    assert [site[0] for site in sites] == ["G1", "R", "B", "G2"]
    for _, mean, std, low, high, clipped in sites:
        assert 256 <= int(low) <= float(mean) <= int(high) <= 65535 and float(std) > 0


def test_noisy_clean_pair(clip_path: str, tmp_path) -> None:
    output = tmp_path / "pair.npz"
    run_example("noisy_clean_pair.py", clip_path, str(output), "--frame", "1", "--scale", "1")
    pair = np.load(output)
    assert pair["clean_bayer"].shape == pair["noisy_bayer"].shape == (HEIGHT, WIDTH)
    assert pair["clean_rgb"].shape == pair["noisy_rgb"].shape == (HEIGHT // 2, WIDTH // 2, 3)
    noise = pair["noisy_bayer"].astype(float) - pair["clean_bayer"]
    assert 2 < noise.std() < 100 and abs(noise.mean()) < 2
