"""encode, decode and write_clip: round trips, clips read back by libavformat and by the module,
and the errors for hostile bytes and wrong arguments."""

import os
import subprocess
from fractions import Fraction

import numpy as np
import pytest

import tesselraw


def mosaic(seed: int, height: int = 64, width: int = 96) -> np.ndarray:
    """A smooth gradient with noise, in sensor values (black 256, white 4095)."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:height, 0:width]
    picture = 600 + 2000 * (x / width) * (y / height) + rng.normal(0, 20, (height, width))
    return np.clip(picture, 256, 4095).astype(np.uint16)


def test_encode_decode_round_trip() -> None:
    source = mosaic(1)
    data = tesselraw.encode(source, pattern=2, quality=1, gains=(1.25, 0.75), matrix=range(9), exposure=2)
    frame = tesselraw.decode(data)
    assert frame.index is None and frame.data == data
    decoded = frame.bayer()
    assert decoded.shape == source.shape
    error = decoded.astype(np.int32) - source
    assert np.abs(error).max() <= 12 and abs(error.mean()) < 0.5
    metadata = frame.metadata
    assert (metadata["bayer_pattern"], metadata["gain0"], metadata["gain1"], metadata["aux_float"]) == (2, 1.25, 0.75, 2)
    assert metadata["color_matrix"] == tuple(range(9)) and metadata["white_level_code"] == 4095 - 256
    assert frame.info["white_level"] == 4095
    # A coarser quantiser costs fewer bytes; rate control aims at the bits asked for.
    assert len(tesselraw.encode(source, quality=40)) < len(data)
    small = tesselraw.encode(source, bits_per_photosite=1.0)
    assert len(small) * 8 < 1.5 * source.size


def test_encode_reads_any_strides() -> None:
    source = mosaic(2)
    expected = tesselraw.encode(source)
    wide = np.zeros((64, 200), np.uint16)
    wide[:, 50:146] = source
    assert tesselraw.encode(wide[:, 50:146]) == expected  # rows apart by more than their width
    assert tesselraw.encode(np.asfortranarray(source)) == expected
    assert tesselraw.encode(source[::-1][::-1]) == expected


@pytest.mark.parametrize("scale", [1, 2, 3])
def test_decode_at_a_scale(scale: int) -> None:
    data = tesselraw.encode(mosaic(3))
    frame = tesselraw.decode(data, scale=scale)
    assert frame.scale == scale and frame.info["width"] == 96 >> scale
    assert frame.bayer().shape == (64 >> scale, 96 >> scale, 4)
    whole = tesselraw.decode(data)
    assert np.array_equal(frame.bayer(), whole.bayer(scale=scale))
    assert whole.info["width"] == 96  # the record of the frame's own scale, whatever was asked since


def probe(path: str, tmp_path) -> tuple[dict, bytes]:
    packets = tmp_path / "packets.bin"
    out = subprocess.run([os.environ["TSR_AVPROBE"], path, str(packets)], stdout=subprocess.PIPE, check=True)
    fields = dict(line.split(" ", 1) for line in out.stdout.decode().splitlines())
    return fields, packets.read_bytes()


def test_write_clip_is_read_back_by_libavformat_and_the_module(tmp_path) -> None:
    pictures = [mosaic(seed) for seed in range(5)]
    path = str(tmp_path / "out.mov")
    tesselraw.write_clip(path, iter(pictures), frame_rate=Fraction(30000, 1001), quality=2, timecode="10:00:00;00")
    frames = [tesselraw.encode(picture, quality=2) for picture in pictures]
    fields, packets = probe(path, tmp_path)
    assert fields["codec_tag"] == "tsrn" and (fields["width"], fields["height"]) == ("96", "64")
    assert fields["frame_rate"] == "30000/1001" and fields["packets"] == "5"
    assert packets == b"".join(frames)
    with tesselraw.open(path) as clip:
        assert len(clip) == 5 and clip.frame_rate == Fraction(30000, 1001) and clip.timecode == "10:00:00;00"
        assert [frame.data for frame in clip] == frames


def test_write_clip_of_frames_back_to_back(tmp_path) -> None:
    frames = [tesselraw.encode(mosaic(seed)) for seed in range(3)]
    path = tmp_path / "out.tsr"
    tesselraw.write_clip(path, [frames[0], bytearray(frames[1]), memoryview(frames[2])], fourcc="tsrh")
    assert path.read_bytes() == b"".join(frames)
    with tesselraw.open(path) as clip:
        assert clip.container == "frames" and clip.frame_rate is None and clip.timecode is None
        assert [frame.data for frame in clip] == frames


def test_write_clip_leaves_nothing_when_it_fails(tmp_path) -> None:
    def frames():
        yield mosaic(1)
        yield mosaic(2)
        raise RuntimeError("the source broke")

    path = tmp_path / "broken.mov"
    with pytest.raises(RuntimeError):
        tesselraw.write_clip(path, frames())
    with pytest.raises(ValueError, match="first frame 96x64"):
        tesselraw.write_clip(path, [mosaic(1), mosaic(2, 32, 32)])
    assert os.listdir(tmp_path) == []


def frame_bytes() -> bytes:
    return tesselraw.encode(mosaic(4))


def first_slice_offset(frame: bytes) -> int:
    """Where the first slice starts: after the header and the table of slice sizes."""
    table = 8 + int.from_bytes(frame[8:10], "big")
    slices = 1
    while table + 2 * slices + sum(int.from_bytes(frame[table + 2 * i: table + 2 * i + 2], "big")
                                   for i in range(slices)) != len(frame):
        slices += 1
    return table + 2 * slices


def flipped(frame: bytes, offset: int, value: int) -> bytes:
    return frame[:offset] + bytes([value]) + frame[offset + 1:]


@pytest.mark.parametrize("name,data", [
    ("empty", b""),
    ("truncated", frame_bytes()[:-100]),
    ("header only", frame_bytes()[:60]),
    ("magic flipped", flipped(frame_bytes(), 5, ord("x"))),
    ("width odd", flipped(frame_bytes(), 8 + 9, 97)),
    ("frame size flipped", flipped(frame_bytes(), 0, 0x7F)),
    ("noise", np.random.default_rng(5).integers(0, 256, 5000, np.uint8).tobytes()),
])
def test_refused_frames_raise_decode_error(name: str, data: bytes) -> None:
    with pytest.raises(tesselraw.DecodeError) as raised:
        tesselraw.decode(data)
    error = raised.value
    assert isinstance(error, tesselraw.Error)
    assert (error.status, error.code) == ("InvalidFrame", -2)
    assert error.message == "the frame breaks a layout or header rule"
    assert str(error) == "the frame breaks a layout or header rule (InvalidFrame, -2)"


def test_hostile_bytes_decode_or_raise_decode_error() -> None:
    """Bit flips anywhere and cuts at any length: a frame, possibly damaged, or DecodeError."""
    data = frame_bytes()
    rng = np.random.default_rng(11)
    outcomes = set()
    for _ in range(150):
        hostile = bytearray(data)
        for offset in rng.integers(0, len(data), rng.integers(1, 4)):
            hostile[offset] ^= 1 << int(rng.integers(0, 8))
        if rng.random() < 0.3:
            hostile = hostile[: rng.integers(0, len(hostile))]
        try:
            frame = tesselraw.decode(bytes(hostile), scale=int(rng.integers(0, 4)))
        except tesselraw.DecodeError as error:
            outcomes.add(error.status)
            continue
        outcomes.add("damaged" if frame.damaged else "decoded")
        assert frame.bayer().shape[:2] == frame.process(engine="cpu").shape[:2]
    assert {"InvalidFrame", "decoded"} <= outcomes


def test_a_damaged_slice_is_named_and_left_black() -> None:
    data = frame_bytes()
    damaged = tesselraw.decode(flipped(data, first_slice_offset(data), 0))  # slice header size 0
    # 96x64: two slices a macroblock row, of four and two macroblocks.
    assert damaged.damaged == "1 of 8 slices are damaged"
    bayer, whole = damaged.bayer(), tesselraw.decode(data).bayer()
    assert not bayer[:16, :64].any() and whole[:16, :64].all()
    assert np.array_equal(bayer[:16, 64:], whole[:16, 64:]) and np.array_equal(bayer[16:], whole[16:])


def test_bad_clips_raise_clip_error(tmp_path) -> None:
    with pytest.raises(tesselraw.ClipError, match="cannot open"):
        tesselraw.open(tmp_path / "missing.mov")
    (tmp_path / "text.mov").write_text("not a clip")
    with pytest.raises(tesselraw.ClipError) as raised:
        tesselraw.open(tmp_path / "text.mov")
    assert raised.value.status == "Failure" and raised.value.code is None
    # A clip cut short keeps its whole frames; the cut one raises when read.
    frames = [tesselraw.encode(mosaic(seed)) for seed in range(3)]
    cut = tmp_path / "cut.tsr"
    cut.write_bytes(b"".join(frames)[:-10])
    with tesselraw.open(cut) as clip:
        assert len(clip) == 3 and clip[1].data == frames[1]
        with pytest.raises(tesselraw.ClipError, match="truncated"):
            clip[2]


@pytest.mark.parametrize("call,error", [
    (lambda f: f.bayer(scale=4), ValueError),
    (lambda f: f.process(scale=-1), ValueError),
    (lambda f: f.process(curve=9), ValueError),
    (lambda f: f.process(dtype="uint8"), ValueError),
    (lambda f: f.process(engine="gpu"), ValueError),
    (lambda f: f.process(engine="cpu", device="0:0"), ValueError),
    (lambda f: f.process(colour=[1.0] * 11), ValueError),
    (lambda f: f.process(colour="bright"), TypeError),
    (lambda f: tesselraw.decode(f.data, scale=5), ValueError),
    (lambda f: tesselraw.decode("text"), TypeError),
    (lambda f: tesselraw.encode(mosaic(1).astype(np.float32)), TypeError),
    (lambda f: tesselraw.encode([[1, 2], [3, 4]]), TypeError),
    (lambda f: tesselraw.encode(np.zeros((64, 95), np.uint16)), ValueError),
    (lambda f: tesselraw.encode(np.zeros((2, 2, 2), np.uint16)), ValueError),
    (lambda f: tesselraw.encode(mosaic(1), quality=0), ValueError),
    (lambda f: tesselraw.encode(mosaic(1), pattern=4), ValueError),
    (lambda f: tesselraw.encode(mosaic(1), gains=(1.0,)), ValueError),
    (lambda f: tesselraw.encode(mosaic(1), white_level=256), ValueError),
    (lambda f: tesselraw.encode(mosaic(1), bits_per_photosite=-1), ValueError),
    (lambda f: tesselraw.write_clip("x.mov", [mosaic(1)], frame_rate=0), ValueError),
    (lambda f: tesselraw.write_clip("x.mov", [mosaic(1)], frame_rate="24"), TypeError),
    (lambda f: tesselraw.write_clip("x.mov", [mosaic(1)], fourcc="avc1"), ValueError),
    (lambda f: tesselraw.write_clip("x.mov", [mosaic(1)], timecode="25:00:00:00"), ValueError),
    (lambda f: tesselraw.write_clip("x.mov", []), ValueError),
    (lambda f: tesselraw.write_clip("x.mov", [b"not a frame"]), ValueError),
    (lambda f: tesselraw.engines(threads=-1), ValueError),
])
def test_wrong_arguments(call, error, tmp_path, monkeypatch) -> None:
    monkeypatch.chdir(tmp_path)
    with pytest.raises(error):
        call(tesselraw.decode(frame_bytes()))
    assert os.listdir(tmp_path) == []
