"""The GIL is released while frames decode and process: another Python thread runs meanwhile,
and threads working at once get the same pictures as one thread alone."""

import threading
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

import tesselraw


def big_frame() -> bytes:
    rng = np.random.default_rng(7)
    return tesselraw.encode(rng.integers(256, 4096, (1088, 2048), np.uint16), quality=1)


def share_of_cpu_while(work) -> float:
    """The CPU time this thread gets while another thread runs `work`, as a share of the time
    `work` takes. A thread that holds the GIL for all of it leaves this one next to nothing."""
    done = threading.Event()

    def worker() -> None:
        work()
        done.set()

    thread = threading.Thread(target=worker)
    wall, cpu = time.perf_counter(), time.thread_time()
    thread.start()
    count = 0
    while not done.is_set():
        count += 1
    cpu, wall = time.thread_time() - cpu, time.perf_counter() - wall
    thread.join()
    return cpu / wall


def test_other_threads_run_while_a_frame_decodes_and_processes() -> None:
    frame = tesselraw.decode(big_frame())
    frame.process(engine="cpu", threads=1)  # the engine started outside the measurement
    # With the GIL held throughout, this thread would run only for the switch interval (5 ms)
    # before each call; decoding and processing take a few hundred milliseconds here. Another
    # thread gets most of a core even on a loaded machine.
    for work in (lambda: [frame.bayer() for _ in range(3)], lambda: frame.process(engine="cpu", threads=1)):
        assert share_of_cpu_while(work) > 0.25


def test_threads_at_once_get_what_one_thread_gets() -> None:
    frames = [tesselraw.decode(tesselraw.encode(np.random.default_rng(seed).integers(256, 4096, (128, 192), np.uint16)))
              for seed in range(6)]
    alone = [(f.bayer().tobytes(), f.process(engine="cpu").tobytes()) for f in frames]
    with ThreadPoolExecutor(4) as pool:
        together = list(pool.map(lambda f: (f.bayer().tobytes(), f.process(engine="cpu").tobytes()), frames * 3))
    assert together == alone * 3
