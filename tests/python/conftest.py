"""Shared fixtures: the module from the build tree, tsrraw beside it, and a small clip of the
tool's synthetic scene (its width is not a multiple of 16, so the decoder's rows carry padding
that arrays must not)."""

import os
import subprocess
from fractions import Fraction

import pytest

import tesselraw

WIDTH, HEIGHT, FRAMES = 200, 120, 3
RATE = Fraction(25)


def run_tool(*args: str) -> bytes:
    result = subprocess.run([os.environ["TSRRAW"], *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    assert result.returncode == 0, result.stderr.decode()
    return result.stdout


@pytest.fixture(scope="session")
def clip_path(tmp_path_factory: pytest.TempPathFactory) -> str:
    path = str(tmp_path_factory.mktemp("clips") / "scene.mov")
    run_tool("encode", "--scene", "--size", f"{WIDTH}x{HEIGHT}", "--count", str(FRAMES), "--fps", "25",
             "--timecode", "01:00:00:00", "--pattern", "1", "--gains", "1.5,2", "-q", "-o", path)
    return path


@pytest.fixture
def clip(clip_path: str):
    with tesselraw.open(clip_path) as opened:
        yield opened
