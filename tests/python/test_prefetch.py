"""A loop over a clip reads and decodes the next frame in the background: it must hand out the
frames random access gives, whatever scale the loop changes to, and its thread must end with
close() and with a loop left by an exception."""

import os

import pytest

import tesselraw


def task_count() -> int:
    return len(os.listdir("/proc/self/task"))


def pictures(frame: tesselraw.Frame, scale: int) -> tuple:
    return (frame.index, frame.info["width"], frame.bayer(scale=scale).tobytes(),
            frame.process(engine="cpu", scale=scale).tobytes())


def test_loop_gives_the_frames_of_random_access(clip: tesselraw.Clip) -> None:
    # Frames read ahead at scale 1, then the loop asks for scale 0 and back: each frame is the one
    # random access decodes, and info stays that of the frame's own scale.
    scales = [1, 0, 1]
    looped = [pictures(frame, scale) for frame, scale in zip(clip, scales)]
    direct = [pictures(clip[index], scale) for index, scale in enumerate(scales)]
    assert looped == direct
    assert len({bayer for _, _, bayer, _ in looped}) == len(looped)  # the frames differ
    # Random access in the middle of a loop cancels the frame read ahead, and the loop goes on.
    frames = iter(clip)
    next(frames).bayer(scale=1)  # frame 1 is read ahead at scale 1
    assert clip[2].bayer(scale=1).tobytes() == direct[2][2]
    assert [frame.bayer(scale=1).tobytes() for frame in frames] == [clip[1].bayer(scale=1).tobytes(), direct[2][2]]

def test_close_and_exceptions_end_the_reading_ahead(clip_path: str) -> None:
    with tesselraw.open(clip_path) as warm:  # the decoder and engine pools at their size
        for frame in warm:
            frame.process(engine="cpu")
    tasks = task_count()

    clip = tesselraw.open(clip_path)
    frames = iter(clip)
    frame = next(frames)
    expected = frame.process(engine="cpu").tobytes()  # starts decoding frame 1
    clip.close()
    assert task_count() == tasks
    with pytest.raises(ValueError):
        next(frames)
    assert frame.process(engine="cpu").tobytes() == expected

    with tesselraw.open(clip_path) as clip:
        with pytest.raises(ZeroDivisionError):
            for frame in clip:
                frame.bayer()
                1 / 0
        assert [frame.index for frame in clip] == [0, 1, 2]
    assert task_count() == tasks
