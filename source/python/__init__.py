"""Tessel RAW clips and frames as numpy arrays: open clips, decode and process frames, encode
frames and write clips."""

from ._tesselraw import *  # noqa: F401,F403
from ._tesselraw import __version__  # noqa: F401
