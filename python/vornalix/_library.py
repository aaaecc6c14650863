"""Finding and loading the shared library, the C prototypes and the errors."""

from __future__ import annotations

import ctypes
import ctypes.util
import errno
import os
from typing import Any, Optional

_NAMES = ("libvornalix.so.1", "libvornalix.so")


class VornalixError(Exception):
    """A failure reported by the library (or found by the binding before a call).

    ``message`` is the library's text (``vornalix_last_error``) and ``code``
    the negative number the C function returned.
    """

    def __init__(self, message: str, code: int = -1) -> None:
        super().__init__(message)
        self.message = message
        self.code = code

    def __repr__(self) -> str:
        return f"{type(self).__name__}({self.message!r}, code={self.code})"


class VornalixValueError(VornalixError, ValueError):
    """A value refused, such as a setting outside its range or a settings document the library rejects."""


class VornalixOSError(VornalixError, OSError):
    """A file that cannot be read or written, worded as the OS words it.

    ``errno``, ``strerror`` and ``filename`` (the path at fault) are set as
    on any OSError; a missing file, a folder and a refused permission raise
    the subclasses catchable as FileNotFoundError, IsADirectoryError and
    PermissionError.
    """

    def __init__(self, number: int, filename: str, strerror: Optional[str] = None, code: int = -1) -> None:
        OSError.__init__(self, number, strerror or os.strerror(number), filename)
        self.message = str(self)
        self.code = code


class VornalixFileNotFoundError(VornalixOSError, FileNotFoundError):
    pass


class VornalixIsADirectoryError(VornalixOSError, IsADirectoryError):
    pass


class VornalixNotADirectoryError(VornalixOSError, NotADirectoryError):
    pass


class VornalixPermissionError(VornalixOSError, PermissionError):
    pass


_OS_ERRORS = {
    errno.ENOENT: VornalixFileNotFoundError,
    errno.EISDIR: VornalixIsADirectoryError,
    errno.ENOTDIR: VornalixNotADirectoryError,
    errno.EACCES: VornalixPermissionError,
    errno.EPERM: VornalixPermissionError,
}


def os_error(number: int, filename: str, strerror: Optional[str] = None, code: int = -1) -> VornalixOSError:
    """The VornalixOSError for an errno: the built-in's subclass where Python has one."""
    return _OS_ERRORS.get(number, VornalixOSError)(number, filename, strerror, code)


class Exif(ctypes.Structure):
    _fields_ = [
        ("make", ctypes.c_char * 64),
        ("model", ctypes.c_char * 64),
        ("lens", ctypes.c_char * 128),
        ("focal_length", ctypes.c_float),
        ("aperture", ctypes.c_float),
        ("exposure_time", ctypes.c_float),
        ("iso", ctypes.c_int32),
        ("datetime", ctypes.c_char * 32),
        ("width", ctypes.c_int32),
        ("height", ctypes.c_int32),
        ("orientation", ctypes.c_int32),
        ("gps_latitude", ctypes.c_double),
        ("gps_longitude", ctypes.c_double),
    ]


def _candidates() -> tuple[list[str], bool]:
    """Where the library may be, in the order it is looked for."""
    explicit = os.environ.get("VORNALIX_LIBRARY")
    if explicit:
        return [explicit], True
    here = os.path.dirname(os.path.abspath(__file__))
    dirs = [here]
    try:  # written by the build (and the install) beside the package
        from . import _location  # type: ignore[attr-defined]

        dirs += [os.path.normpath(os.path.join(here, d)) for d in _location.LIBRARY_DIRS]
    except ImportError:
        pass
    paths = [os.path.join(d, name) for d in dirs for name in _NAMES]
    paths = [p for p in paths if os.path.exists(p)]
    system = ctypes.util.find_library("vornalix")
    return paths + list(_NAMES) + ([system] if system else []), False


def _load() -> tuple[ctypes.CDLL, str]:
    candidates, explicit = _candidates()
    errors = []
    for path in candidates:
        try:
            return ctypes.CDLL(path), path
        except OSError as e:
            errors.append(f"{path}: {e}")
    where = "VORNALIX_LIBRARY" if explicit else "next to the package or on the system path"
    raise ImportError(f"libvornalix was not found {where}:\n  " + "\n  ".join(errors))


lib, path = _load()

_c = ctypes
_ctx = _c.c_void_p
_PROTOTYPES = {
    "vornalix_version": (_c.c_char_p, []),
    "vornalix_create_context": (_ctx, []),
    "vornalix_destroy_context": (None, [_ctx]),
    "vornalix_last_error": (_c.c_char_p, [_ctx]),
    "vornalix_load_arw": (_c.c_int, [_ctx, _c.c_char_p, _c.c_int]),
    "vornalix_unload": (None, [_ctx]),
    "vornalix_set_size_limit": (_c.c_int, [_ctx, _c.c_int]),
    "vornalix_get_width": (_c.c_int, [_ctx]),
    "vornalix_get_height": (_c.c_int, [_ctx]),
    "vornalix_process": (_c.c_int, [_ctx]),
    "vornalix_get_preview": (_c.c_int, [_ctx, _c.c_void_p, _c.c_int]),
    "vornalix_get_preview16": (_c.c_int, [_ctx, _c.c_void_p, _c.c_int]),
    "vornalix_reset_adjustments": (None, [_ctx]),
    "vornalix_export_jpeg": (_c.c_int, [_ctx, _c.c_char_p, _c.c_int, _c.c_int, _c.c_int]),
    "vornalix_export_tiff": (_c.c_int, [_ctx, _c.c_char_p]),
    "vornalix_set_output_profile": (_c.c_int, [_ctx, _c.c_int]),
    "vornalix_set_keep_exif": (_c.c_int, [_ctx, _c.c_int]),
    "vornalix_export_png": (_c.c_int, [_ctx, _c.c_char_p, _c.c_int]),
    "vornalix_get_histogram": (_c.c_int, [_ctx] + [_c.c_void_p] * 4),
    "vornalix_get_exif": (_c.c_int, [_ctx, _c.POINTER(Exif)]),
    "vornalix_auto_enhance": (_c.c_int, [_ctx, _c.c_void_p]),
    "vornalix_auto_white_balance": (_c.c_int, [_ctx, _c.POINTER(_c.c_float), _c.POINTER(_c.c_float)]),
    "vornalix_auto_exposure": (_c.c_int, [_ctx, _c.POINTER(_c.c_float)]),
    "vornalix_auto_straighten": (_c.c_int, [_ctx, _c.POINTER(_c.c_float)]),
    "vornalix_auto_crop": (_c.c_int, [_ctx] + [_c.POINTER(_c.c_float)] * 4),
    "vornalix_camera_curve": (_c.c_int, [_ctx, _c.c_int, _c.c_void_p, _c.c_int, _c.POINTER(_c.c_int)]),
    "vornalix_camera_saturation": (_c.c_int, [_ctx, _c.POINTER(_c.c_float)]),
    "vornalix_measure_white_balance": (_c.c_int, [_ctx, _c.POINTER(_c.c_float), _c.POINTER(_c.c_float)]),
    "vornalix_segment_subject": (_c.c_int, [_ctx, _c.c_float, _c.c_float]),
    "vornalix_set_bg_blur": (None, [_ctx, _c.c_float]),
    "vornalix_get_mask": (_c.c_int, [_ctx, _c.c_void_p, _c.c_int]),
    "vornalix_export_subject_png": (_c.c_int, [_ctx, _c.c_char_p]),
    "vornalix_extract_thumbnail": (_c.c_int, [_c.c_char_p, _c.POINTER(_c.c_void_p), _c.POINTER(_c.c_uint)]),
    "vornalix_free_thumb": (None, [_c.c_void_p]),
    "vornalix_phash": (_c.c_int, [_c.c_char_p, _c.POINTER(_c.c_ulonglong)]),
    "vornalix_settings_to_json": (_c.c_int, [_ctx, _c.c_char_p, _c.c_int]),
    "vornalix_settings_from_json": (_c.c_int, [_ctx, _c.c_char_p]),
    "vornalix_settings_schema": (_c.c_char_p, []),
}


class _Functions:
    """The C functions with their prototypes, as attributes (``C.vornalix_process``)."""

    def __init__(self) -> None:
        for name, (restype, argtypes) in _PROTOTYPES.items():
            try:
                function = getattr(lib, name)
            except AttributeError:  # an older library: calling it raises a clear error
                continue
            function.restype = restype
            function.argtypes = argtypes
            setattr(self, name, function)

    def __getattr__(self, name: str) -> Any:
        raise VornalixError(f"{name} is not available in {path}")


C = _Functions()


def available(name: str) -> bool:
    """Whether the loaded library has the C function `name`."""
    return name in C.__dict__
