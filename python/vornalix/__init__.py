"""vornalix: photo development from Python, over the libvornalix shared library.

    import vornalix
    with vornalix.open("IMG_1.CR2") as photo:
        photo.set(exposure=0.5, contrast=20, crop=(0.1, 0.1, 0.8, 0.8))
        pixels = photo.preview()          # (H, W, 4) uint8
        photo.export("IMG_1.jpg", quality=92)

The library is looked for through VORNALIX_LIBRARY (a file path), next to
this package (a build tree or an installed tree), then on the system path.
A loaded photo starts as the command line's do, as shot (temperature 6500,
FRONT_END_DEFAULTS) where the library's own default is 5500; values outside
a setting's range (SETTINGS) raise VornalixValueError unless allow_extreme.
Every error is a VornalixError; a file that cannot be read or written raises
a VornalixOSError, catchable as FileNotFoundError, IsADirectoryError,
PermissionError or OSError as the OS reports it.
"""

from __future__ import annotations

import ctypes
from typing import Union

from ._library import C, VornalixError, VornalixOSError, VornalixValueError
from ._library import path as library_path
from .photo import (AUTO_ENHANCE_KEYS, CURVES, DEFAULT_JPEG_QUALITY, DEFAULT_KEEP_EXIF, FRONT_END_DEFAULTS,
                    HSL_BANDS, SETTINGS, PathLike, Photo, readable_path)

__all__ = [
    "open", "Photo", "VornalixError", "VornalixOSError", "VornalixValueError", "thumbnail", "phash", "hamming",
    "version", "library_path", "AUTO_ENHANCE_KEYS", "CURVES", "HSL_BANDS", "SETTINGS", "FRONT_END_DEFAULTS",
    "DEFAULT_JPEG_QUALITY", "DEFAULT_KEEP_EXIF", "PathLike",
]


def open(  # noqa: A001 - the natural name, as in io.open
    path: PathLike, scale: int = 1, size: Union[None, int, str] = None, look: str = "camera"
) -> Photo:
    """Loads a photograph (RAW, JPEG, PNG, TIFF, BMP or WebP) into a new Photo.

    `scale` 1..4 decodes RAW files smaller (2 and 3 half size, 4 quarter).
    `size`: None the full size, an int a long side of that many pixels,
    "preview" the library's default bounds (RAW 2000, others 4096).
    `look` "camera" gives a RAW file the tone curves and saturation of the
    camera's own JPEG (Photo.camera_curve, Photo.camera_saturation); "flat"
    keeps the plain development.
    """
    if look not in ("camera", "flat"):
        raise VornalixValueError(f"look must be 'camera' or 'flat', not {look!r}")
    photo = Photo(path, scale, size)
    if look == "camera":
        try:
            photo.set(tone_curve=photo.camera_curve(), saturation=photo.camera_saturation())
        except VornalixError:
            pass  # a standard image, or a RAW file without the camera's picture
    return photo


def version() -> str:
    """The library's version text."""
    return C.vornalix_version().decode()


__version__ = version()


_THUMBNAIL_FAILURES = {
    -1: "the file cannot be read or encoded",
    -2: "the RAW file holds no thumbnail",
    -3: "the RAW file's thumbnail cannot be made into an image",
    -4: "the thumbnail block cannot be allocated",
}
_PHASH_FAILURES = {
    -1: "the image cannot be read",
    -2: "the RAW file holds no thumbnail",
    -3: "the RAW file's thumbnail cannot be made into an image",
    -4: "the RAW file's thumbnail cannot be decoded",
}


def thumbnail(path: PathLike) -> bytes:
    """A small JPEG preview of an image file as bytes (a RAW file's embedded one)."""
    raw = readable_path(path)
    data, size = ctypes.c_void_p(), ctypes.c_uint()
    rc = C.vornalix_extract_thumbnail(raw, ctypes.byref(data), ctypes.byref(size))
    if rc != 0:
        reason = _THUMBNAIL_FAILURES.get(rc, "failed")
        raise VornalixError(f"no thumbnail of '{raw.decode(errors='replace')}': {reason}", rc)
    try:
        return ctypes.string_at(data, size.value)
    finally:
        C.vornalix_free_thumb(data)


def phash(path: PathLike) -> int:
    """The 64-bit perceptual hash of an image file, as an int."""
    raw = readable_path(path)
    value = ctypes.c_ulonglong()
    rc = C.vornalix_phash(raw, ctypes.byref(value))
    if rc != 0:
        reason = _PHASH_FAILURES.get(rc, "failed")
        raise VornalixError(f"no hash of '{raw.decode(errors='replace')}': {reason}", rc)
    return value.value


def hamming(a: int, b: int) -> int:
    """Number of differing bits of two hashes (0 = same picture, up to 64)."""
    return bin((int(a) ^ int(b)) & 0xFFFFFFFFFFFFFFFF).count("1")
