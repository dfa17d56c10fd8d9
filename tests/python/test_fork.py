"""A process forked after the module has decoded and processed (multiprocessing's default on
Linux, data loaders) starts its own decoders and engines: the parent's worker threads are not
there to run them. OpenCL does not survive a fork (the implementation's own threads are gone):
a child refuses it with an error instead of hanging."""

import multiprocessing

import numpy as np

import tesselraw


def decode_and_process(data: bytes, expected: bytes) -> None:
    frame = tesselraw.decode(data)
    if frame.bayer().tobytes() + frame.process(engine="cpu").tobytes() != expected:
        raise SystemExit(1)
    try:
        frame.process(engine="opencl")
    except tesselraw.EngineError as error:
        if error.status != "Forked" or error.code is not None:
            raise SystemExit(2)
    else:
        raise SystemExit(3)


def test_forked_children_decode_and_process() -> None:
    data = tesselraw.encode(np.random.default_rng(3).integers(256, 4096, (256, 384), np.uint16))
    frame = tesselraw.decode(data)
    expected = frame.bayer().tobytes() + frame.process(engine="cpu").tobytes()
    frame.process(engine="opencl")
    context = multiprocessing.get_context("fork")
    children = [context.Process(target=decode_and_process, args=(data, expected)) for _ in range(2)]
    for child in children:
        child.start()
    for child in children:
        child.join(60)
        if child.is_alive():
            child.kill()
        assert child.exitcode == 0
