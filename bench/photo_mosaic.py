#!/usr/bin/env python3
"""Makes a 4096x2160 camera-like picture from the photographs that scikit-image ships.

Six photographs fill a grid of 3 x 6 cells, each enlarged just enough to cover its cell (by about
1.4 to 2: a sensor behind a lens sees no pixel-sharp detail), mirrored on every other use. The
picture is turned from sRGB into linear light in the sensor range black 256 .. white 4095 + 256
and given shot and read noise (spread 2 + 0.6 * sqrt(signal), fixed seed). Writes the Bayer mosaic (R G / G B) as little-endian u16 photosites and, when asked,
the same picture as rgb48le pixels for other codecs.

usage: photo_mosaic.py MOSAIC_OUT [RGB48_OUT]
"""
import sys

import numpy as np
from skimage import data, transform

WIDTH, HEIGHT = 4096, 2160
BLACK, WHITE = 256, 4095
NAMES = ["astronaut", "coffee", "chelsea", "rocket", "immunohistochemistry", "retina"]


def photographs():
    for name in NAMES:
        loader = getattr(data, name, None)
        if loader is None:
            continue
        try:
            image = loader()
        except Exception:  # a photograph that is fetched on demand and not installed
            continue
        if image.ndim == 3 and image.shape[2] >= 3:
            yield image[:, :, :3]


def canvas():
    photos = list(photographs())
    if not photos:
        sys.exit("no photographs found")
    rows, columns = 3, 6
    cellHeight, cellWidth = -(-HEIGHT // rows), -(-WIDTH // columns)
    out = np.zeros((rows * cellHeight, columns * cellWidth, 3), np.float32)
    for cell in range(rows * columns):
        use, index = divmod(cell + 2 * (cell // columns), len(photos))
        photo = photos[index].astype(np.float32) / 255
        if use % 2:
            photo = photo[:, ::-1]
        # Enlarged just enough to cover the cell, then cropped about its centre.
        scale = max(cellHeight / photo.shape[0], cellWidth / photo.shape[1])
        tile = transform.rescale(photo, scale, order=3, channel_axis=2, anti_aliasing=False)
        top, left = (tile.shape[0] - cellHeight) // 2, (tile.shape[1] - cellWidth) // 2
        y, x = cell // columns * cellHeight, cell % columns * cellWidth
        out[y:y + cellHeight, x:x + cellWidth] = tile[top:top + cellHeight, left:left + cellWidth]
    return np.clip(out[:HEIGHT, :WIDTH], 0, 1)


def main():
    srgb = canvas()
    linear = np.where(srgb <= 0.04045, srgb / 12.92, ((srgb + 0.055) / 1.055) ** 2.4)
    signal = linear * WHITE
    rng = np.random.default_rng(20260101)
    noisy = signal + (2 + 0.6 * np.sqrt(signal)) * rng.standard_normal(signal.shape, dtype=np.float32)
    rgb = np.clip(np.rint(noisy + BLACK), 0, 65535).astype("<u2")
    mosaic = np.empty((HEIGHT, WIDTH), "<u2")
    mosaic[0::2, 0::2] = rgb[0::2, 0::2, 0]
    mosaic[0::2, 1::2] = rgb[0::2, 1::2, 1]
    mosaic[1::2, 0::2] = rgb[1::2, 0::2, 1]
    mosaic[1::2, 1::2] = rgb[1::2, 1::2, 2]
    mosaic.tofile(sys.argv[1])
    if len(sys.argv) > 2:
        rgb.tofile(sys.argv[2])


if __name__ == "__main__":
    main()
