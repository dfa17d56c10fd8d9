"""Tessel RAW clips and frames as numpy arrays: open clips, decode and process frames, encode
frames and write clips."""

import os
from fractions import Fraction
from typing import Any, Iterable, Iterator, Literal, Sequence, overload

import numpy as np
import numpy.typing as npt

__version__: str

_Path = str | bytes | os.PathLike[str] | os.PathLike[bytes]
_Buffer = bytes | bytearray | memoryview | npt.NDArray[np.uint8]

class Error(Exception):
    """A failure of the library: `status` names it, `message` says it in words, `code` is the
    decoder's result or the engine's status code where there is one."""

    status: str
    message: str
    code: int | None
    def __init__(self, status: str, message: str, code: int | None = None) -> None: ...

class DecodeError(Error): ...
class EngineError(Error): ...
class ClipError(Error): ...

class Frame:
    """One compressed frame of a clip, or on its own."""

    @property
    def index(self) -> int | None: ...
    @property
    def scale(self) -> int: ...
    @property
    def data(self) -> bytes: ...
    @property
    def info(self) -> dict[str, Any]: ...
    @property
    def metadata(self) -> dict[str, Any]: ...
    @property
    def damaged(self) -> Literal[False] | str: ...
    def bayer(self, scale: int | None = None) -> npt.NDArray[np.uint16]: ...
    def process(
        self,
        curve: int = 1,
        dtype: Literal["float16", "float32"] = "float16",
        engine: Literal["auto", "cpu", "opencl"] = "auto",
        scale: int | None = None,
        colour: Sequence[float] | npt.NDArray[np.floating[Any]] | None = None,
        device: str | None = None,
        threads: int = 0,
    ) -> npt.NDArray[np.float16] | npt.NDArray[np.float32]: ...

class ClipIterator:
    def __iter__(self) -> ClipIterator: ...
    def __next__(self) -> Frame: ...

class Clip:
    """An open clip; frames are read on demand."""

    def __len__(self) -> int: ...
    @overload
    def __getitem__(self, index: int) -> Frame: ...
    @overload
    def __getitem__(self, frames: slice) -> list[Frame]: ...
    def __iter__(self) -> ClipIterator: ...
    def __enter__(self) -> Clip: ...
    def __exit__(self, *args: object) -> None: ...
    def close(self) -> None: ...
    @property
    def closed(self) -> bool: ...
    @property
    def path(self) -> str: ...
    @property
    def container(self) -> str: ...
    @property
    def fourcc(self) -> str | None: ...
    @property
    def frame_rate(self) -> Fraction | None: ...
    @property
    def width(self) -> int: ...
    @property
    def height(self) -> int: ...
    @property
    def timecode(self) -> str | None: ...

def open(path: _Path) -> Clip: ...
def decode(data: _Buffer, scale: int = 0) -> Frame: ...
def encode(
    bayer: npt.NDArray[np.uint16],
    pattern: int = 0,
    quality: int = 4,
    *,
    bits_per_photosite: float | None = None,
    white_level: int = 4095,
    gains: Sequence[float] = (1.0, 1.0),
    matrix: Sequence[float] | None = None,
    exposure: float = 1.0,
) -> bytes: ...
def write_clip(
    path: _Path,
    frames: Iterable[npt.NDArray[np.uint16] | bytes | bytearray | memoryview],
    frame_rate: int | float | Fraction = 24,
    *,
    pattern: int = 0,
    quality: int = 4,
    bits_per_photosite: float | None = None,
    white_level: int = 4095,
    gains: Sequence[float] = (1.0, 1.0),
    matrix: Sequence[float] | None = None,
    exposure: float = 1.0,
    fourcc: Literal["tsrn", "tsrh"] = "tsrn",
    timecode: str | None = None,
) -> None: ...
def engines(threads: int = 0) -> list[dict[str, Any]]: ...
