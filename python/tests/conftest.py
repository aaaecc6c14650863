"""Shared fixtures: small synthetic photographs written as PNG files."""

import pathlib
import struct
import zlib

import numpy as np
import pytest


def write_png(path, rgb):
    """Writes an (H, W, 3) uint8 array as an 8-bit RGB PNG."""
    rgb = np.ascontiguousarray(rgb, dtype=np.uint8)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = chunk(b"IHDR", struct.pack(">IIBBBBB", rgb.shape[1], rgb.shape[0], 8, 2, 0, 0, 0))
    pixels = chunk(b"IDAT", zlib.compress(b"".join(b"\0" + row.tobytes() for row in rgb)))
    pathlib.Path(path).write_bytes(b"\x89PNG\r\n\x1a\n" + header + pixels + chunk(b"IEND", b""))
    return str(path)


def synthetic_rgb(width=64, height=48, seed=1):
    """A smooth picture with a bright object in the middle (something to segment and hash)."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:height, 0:width]
    rgb = np.stack([x * 200 // width + 20, y * 180 // height + 30, 90 + (x + y) % 40], axis=-1)
    inside = (abs(x - width / 2) < width / 5) & (abs(y - height / 2) < height / 4)
    rgb[inside] = [230, 200, 40]
    rgb = rgb + rng.integers(0, 6, size=rgb.shape)
    return np.clip(rgb, 0, 255).astype(np.uint8)


@pytest.fixture
def png(tmp_path):
    return write_png(tmp_path / "photo.png", synthetic_rgb())

