"""The GIL is released while frames decode and process, so that threads decode in parallel:
another Python thread keeps running meanwhile, and threads working at once get the same pictures
as one thread alone."""

import threading
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

import tesselraw


def big_frame() -> bytes:
    rng = np.random.default_rng(7)
    return tesselraw.encode(rng.integers(256, 4096, (2176, 4096), np.uint16), quality=1)


def longest_stall(work) -> float:
    """Runs `work` (one call into the module) on another thread while this one loops, and returns
    the longest time this thread did not run during the call, as a share of the call's time.
    Holding the GIL for the call would stall this thread for all of it (but the first switch
    interval, 5 ms); releasing it leaves only the stalls of the machine's scheduler, however
    loaded the machine."""
    span: list[float] = []

    def worker() -> None:
        start = time.perf_counter()
        work()
        span.extend((start, time.perf_counter()))

    thread = threading.Thread(target=worker)
    stalls = []
    last = time.perf_counter()
    thread.start()
    while thread.is_alive():
        now = time.perf_counter()
        if now - last > 0.001:
            stalls.append((last, now))
        last = now
    thread.join()
    start, end = span
    inside = [min(b, end) - max(a, start) for a, b in stalls]
    return max(inside + [0.0]) / (end - start)


def test_threads_run_while_a_frame_decodes_and_processes() -> None:
    frame = tesselraw.decode(big_frame())
    frame.process(engine="cpu", threads=1)  # the engine started outside the measurement
    for work in (frame.bayer, lambda: frame.process(engine="cpu", threads=1)):
        assert any(longest_stall(work) < 0.5 for _ in range(3))


def test_threads_at_once_get_what_one_thread_gets() -> None:
    frames = [tesselraw.decode(tesselraw.encode(np.random.default_rng(seed).integers(256, 4096, (128, 192), np.uint16)))
              for seed in range(6)]
    alone = [(f.bayer().tobytes(), f.process(engine="cpu").tobytes()) for f in frames]
    with ThreadPoolExecutor(4) as pool:
        together = list(pool.map(lambda f: (f.bayer().tobytes(), f.process(engine="cpu").tobytes()), frames * 3))
    assert together == alone * 3
