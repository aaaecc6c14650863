"""Shared fixtures: small synthetic photographs written as PNG files."""

import struct
import zlib

import numpy as np
import pytest


def write_png(path, rgb):
    """Writes an (H, W, 3) uint8 array as an 8-bit RGB PNG."""
    rgb = np.ascontiguousarray(rgb, dtype=np.uint8)
    height, width, _ = rgb.shape
    rows = b"".join(b"\0" + rgb[y].tobytes() for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(rows)))
        f.write(chunk(b"IEND", b""))
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

