"""Clips and frames against tsrraw: bayer() is `tsrraw decode --format raw`, process() is
`tsrraw convert --format raw`, byte for byte; the arrays' layout at each scale; arrays outliving
their clip."""

import gc
import struct
from fractions import Fraction

import numpy as np
import pytest

import tesselraw
from conftest import FRAMES, HEIGHT, WIDTH, run_tool

INFO_FIELDS = struct.Struct("<iIiiB3xiiff9ffii8f")
INFO_NAMES = ("row_pitch", "layout", "width", "height", "bayer_pattern", "black_level", "white_level", "gain0",
              "gain1", "color_matrix", "aux_float", "aux_word", "max_dc_step", "sample_offsets")


def tool_decode(path: str, frame: int, scale: int, tmp_path) -> tuple[dict, np.ndarray]:
    """The tool's raw output: the info record as a dict, and the picture without row padding."""
    output = tmp_path / "decoded.raw"
    run_tool("decode", path, "--frames", str(frame), "--scale", str(scale), "--format", "raw", "-q", "-o", str(output))
    raw = output.read_bytes()
    values = INFO_FIELDS.unpack_from(raw)
    record = dict(zip(INFO_NAMES[:9], values[:9]))
    record["color_matrix"] = values[9:18]
    record.update(zip(INFO_NAMES[10:13], values[18:21]))
    record["sample_offsets"] = values[21:29]
    channels = 1 if scale == 0 else 4
    rows = np.frombuffer(raw, np.uint16, offset=116).reshape(record["height"], record["row_pitch"] // 2)
    return record, rows[:, : record["width"] * channels]


def test_clip_properties_and_indexing(clip: tesselraw.Clip) -> None:
    assert len(clip) == FRAMES
    assert (clip.width, clip.height) == (WIDTH, HEIGHT)
    assert clip.frame_rate == Fraction(25) and isinstance(clip.frame_rate, Fraction)
    assert clip.timecode == "01:00:00:00"
    assert (clip.container, clip.fourcc) == ("quicktime", "tsrn")
    assert [frame.index for frame in clip] == [0, 1, 2]
    assert clip[-1].index == 2 and clip[-3].data == clip[0].data
    assert [frame.index for frame in clip[::-2]] == [2, 0]
    for index in (3, -4):
        with pytest.raises(IndexError):
            clip[index]


@pytest.mark.parametrize("scale", [0, 1, 2, 3])
def test_bayer_is_the_tools_decode(clip: tesselraw.Clip, clip_path: str, scale: int, tmp_path) -> None:
    frame = clip[1]
    record, expected = tool_decode(clip_path, 1, scale, tmp_path)
    bayer = frame.bayer(scale=scale)
    height, width = HEIGHT >> scale, WIDTH >> scale
    assert bayer.shape == ((height, width) if scale == 0 else (height, width, 4))
    assert bayer.dtype == np.uint16 and bayer.flags.c_contiguous and bayer.flags.writeable
    assert bayer.strides == ((width * 2, 2) if scale == 0 else (width * 8, 8, 2))
    assert bayer.tobytes() == expected.tobytes()
    if scale == 0:
        info = dict(frame.info)
        assert info.pop("layout") == "bp16"
        record.pop("layout")
        assert info == record
        assert frame.metadata["bayer_pattern"] == 1 and frame.metadata["gain0"] == 1.5
        assert frame.damaged is False


@pytest.mark.parametrize("engine,dtype,curve,scale", [("cpu", "float16", 1, 0), ("cpu", "float32", 2, 1),
                                                      ("cpu", "float16", 5, 3), ("opencl", "float16", 1, 1)])
def test_process_is_the_tools_convert(clip: tesselraw.Clip, clip_path: str, engine: str, dtype: str, curve: int,
                                      scale: int) -> None:
    rgba = clip[2].process(curve=curve, dtype=dtype, engine=engine, scale=scale)
    assert rgba.shape == (HEIGHT >> scale, WIDTH >> scale, 4)
    assert rgba.dtype == np.dtype(dtype) and rgba.flags.c_contiguous
    expected = run_tool("convert", clip_path, "--frames", "2", "--engine", engine, "--curve", str(curve), "--type",
                        "half" if dtype == "float16" else "float", "--scale", str(scale), "--format", "raw", "-q",
                        "-o", "-")
    assert rgba.tobytes() == expected


def test_colour_override_reaches_the_engine(clip: tesselraw.Clip, clip_path: str) -> None:
    colour = [2.0, 0.5, 0.6, 0.3, 0.1, 0.2, 0.7, 0.1, 0.0, 0.1, 0.9, 1.25]
    rgba = clip[0].process(engine="cpu", dtype="float32", colour=np.array(colour))
    expected = run_tool("convert", clip_path, "--frames", "0", "--engine", "cpu", "--type", "float", "--colour",
                        ",".join(map(str, colour)), "--format", "raw", "-q", "-o", "-")
    assert rgba.tobytes() == expected
    assert rgba.tobytes() != clip[0].process(engine="cpu", dtype="float32").tobytes()


def test_arrays_outlive_clip_and_frame(clip_path: str) -> None:
    with tesselraw.open(clip_path) as clip:
        frame = clip[0]
        bayer, rgba = frame.bayer(), frame.process(engine="cpu", scale=1)
        copies = bayer.copy(), rgba.copy()
    assert clip.closed
    with pytest.raises(ValueError):
        clip[0]
    del frame, clip
    gc.collect()
    # Arrays of the same sizes made since must not reuse the memory still in use.
    with tesselraw.open(clip_path) as other:
        for frame in other:
            frame.bayer(), frame.process(engine="cpu", scale=1)
    assert np.array_equal(bayer, copies[0]) and np.array_equal(rgba, copies[1], equal_nan=True)
    assert bayer.base is not None and not bayer.flags.owndata
