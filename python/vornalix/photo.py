"""One photograph in one library context."""

from __future__ import annotations

import ctypes
import errno
import json
import math
import os
import stat
from collections.abc import Mapping
from typing import Any, Callable, Optional, Union

import numpy as np
import numpy.typing as npt

from ._library import C, Exif, VornalixError, VornalixValueError, os_error

# What the binding takes as a file path.
PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

# The library's single-value settings by key: type, default, front_end_default,
# min, max, unit and the auto-enhance entry ("suggestion") that feeds it.
_SCHEMA = json.loads(C.vornalix_settings_schema())
SETTINGS = {s["key"]: s for s in _SCHEMA["settings"]}
# The settings vornalix_auto_enhance suggests, in the order of the setters.
AUTO_ENHANCE_KEYS = tuple(key for key, s in SETTINGS.items() if s["suggestion"] is not None)
# What a loaded photo starts from, as on the command line: the camera's white
# balance (temperature 6500) where the library keeps its own default.
FRONT_END_DEFAULTS = {key: s["front_end_default"] for key, s in SETTINGS.items()
                      if s["front_end_default"] != s["default"]}
# The export options the command line shares: JPEG quality and EXIF kept.
_OUTPUTS = _SCHEMA["outputs"]
JPEG_QUALITY = (_OUTPUTS["jpeg_quality"]["min"], _OUTPUTS["jpeg_quality"]["max"])
DEFAULT_JPEG_QUALITY = _OUTPUTS["jpeg_quality"]["front_end_default"]
DEFAULT_KEEP_EXIF = bool(_OUTPUTS["keep_exif"]["front_end_default"])
CURVES = ("master", "red", "green", "blue")
HSL_BANDS = ("red", "orange", "yellow", "green", "aqua", "blue", "purple", "magenta")
# Settings made of named parts: a partial value in set() changes only the parts it names.
_NESTED = ("tone_curve", "hsl", "split_toning")
_IDENTITY_CURVE = [[0.0, 0.0], [1.0, 1.0]]
# The output colour spaces, numbered as the C constants VORNALIX_PROFILE_*.
_OUTPUT_PROFILES = {"srgb": 0, "adobergb": 1, "p3": 2, "prophoto": 3}
# The preview's C function and sample type by the array type asked for; float
# is the 16-bit preview over 0..1.
_PREVIEWS = {np.dtype(np.uint8): ("vornalix_get_preview", np.uint8),
             np.dtype(np.uint16): ("vornalix_get_preview16", np.uint16),
             np.dtype(np.float32): ("vornalix_get_preview16", np.uint16)}


def encode_path(path: PathLike) -> bytes:
    """A path (str, bytes or os.PathLike) as the bytes the C interface takes."""
    try:
        raw = os.fsencode(os.fspath(path))
    except TypeError:
        raise VornalixError(f"expected a file path, got {type(path).__name__}") from None
    if b"\0" in raw:
        raise VornalixError("file path contains a NUL character")
    return raw


def readable_path(path: PathLike) -> bytes:
    """`path` encoded once the OS opens it for reading; otherwise the OS's error (a folder: IsADirectoryError)."""
    raw = encode_path(path)
    try:  # non-blocking, so a FIFO cannot hang the check
        fd = os.open(raw, os.O_RDONLY | getattr(os, "O_NONBLOCK", 0))
    except OSError as e:
        raise os_error(e.errno, os.fsdecode(raw)) from None
    try:
        folder = stat.S_ISDIR(os.fstat(fd).st_mode)
    finally:
        os.close(fd)
    if folder:
        raise os_error(errno.EISDIR, os.fsdecode(raw))
    return raw


def writable_path(path: PathLike) -> bytes:
    """`path` encoded once a file can be written there; otherwise the OS's error naming the path at fault."""
    raw = encode_path(path)
    folder = os.path.dirname(raw) or b"."
    target = raw if os.path.lexists(raw) else folder
    for fault, culprit in [(errno.EISDIR, os.path.isdir(raw) and raw),
                           (errno.ENOENT, not os.path.exists(folder) and folder),
                           (errno.ENOTDIR, not os.path.isdir(folder) and folder),
                           (errno.EACCES, not os.access(target, os.W_OK) and target)]:
        if culprit:
            raise os_error(fault, os.fsdecode(culprit))
    return raw


def _plain(value: Any, key: str) -> Any:
    """`value` as plain JSON data: numpy values, tuples and booleans become numbers and lists."""
    if isinstance(value, (bool, np.bool_)):
        return int(value)
    if isinstance(value, np.ndarray):
        return _plain(value.tolist(), key)
    if isinstance(value, np.generic):
        return value.item()
    if isinstance(value, Mapping):
        return {str(k): _plain(v, f"{key}.{k}") for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [_plain(v, key) for v in value]
    if isinstance(value, float) and not math.isfinite(value):
        raise VornalixValueError(f"setting '{key}': {value} is not a finite number")
    return value


_EXTREME = " (allow_extreme=True lets it through)"


def _check_range(key: str, value: Any, low: float, high: float, hint: str = "") -> None:
    if isinstance(value, (int, float)) and not low <= value <= high:
        raise VornalixValueError(f"{key} {value} is outside {low:g}..{high:g}{hint}")


def _check_ranges(key: str, value: Any) -> None:
    """Each number of `value` (plain data) within its documented range: a setting's own, or its part's."""
    def check(part: str, numbers: Any) -> None:
        for number in numbers if isinstance(numbers, list) else [numbers]:
            _check_range(key, number, _SCHEMA["parts"][part]["min"], _SCHEMA["parts"][part]["max"], _EXTREME)

    parts = value if isinstance(value, dict) else {}
    if key in SETTINGS:
        _check_range(key, value, SETTINGS[key]["min"], SETTINGS[key]["max"], _EXTREME)
    elif key == "crop":
        check("crop", value)
    elif key == "hsl":
        for numbers in parts.values():
            check("hsl", numbers)
    elif key == "tone_curve":
        for points in parts.values():
            for point in points if isinstance(points, list) else []:
                check("tone_curve", point)
    elif key == "split_toning":
        for region in ("highlight", "shadow"):
            hue_saturation = parts.get(region)
            if isinstance(hue_saturation, list) and len(hue_saturation) == 2:
                check("split_toning_hue", hue_saturation[0])
                check("split_toning_saturation", hue_saturation[1])
        check("split_toning_balance", parts.get("balance"))


def _dumps(document: Mapping[str, Any]) -> str:
    try:
        return json.dumps({k: _plain(v, k) for k, v in document.items()}, allow_nan=False)
    except (TypeError, ValueError) as e:
        raise VornalixValueError(f"settings: {e}") from None


def _size_limit(size: Union[None, int, str]) -> int:
    """The library's size limit for open()'s `size`: 0 full, -1 preview bounds, N."""
    if size is None:
        return 0
    if size == "preview":
        return -1
    if isinstance(size, int) and not isinstance(size, bool) and size > 0:
        return size
    raise VornalixValueError(f"size must be None, a positive int or 'preview', not {size!r}")


class Photo:
    """A photograph loaded into its own library context.

    Use it in a ``with`` block (or call ``close``) to release the context.
    Settings change through ``set``; ``preview``, ``export``, ``histogram``
    and ``save_subject`` always show the current settings.
    """

    def __init__(self, path: Optional[PathLike] = None, scale: int = 1, size: Union[None, int, str] = None) -> None:
        self.path: Optional[str] = None
        self._handle = C.vornalix_create_context()
        if not self._handle:
            raise VornalixError("could not create a library context")
        self._dirty = True  # settings changed since the last rendering
        self._loaded_size = (0, 0)
        if path is not None:
            try:
                self.load(path, scale, size)
            except BaseException:
                self.close()
                raise

    def load(self, path: PathLike, scale: int = 1, size: Union[None, int, str] = None) -> None:
        """Loads another photograph into this context; every setting returns to FRONT_END_DEFAULTS.

        `size`: None the full size, an int a long side of that many pixels,
        "preview" the library's default bounds (RAW 2000, others 4096).
        On failure the previous photograph and its settings stay.  A missing
        file, a folder or a file without read permission raise
        FileNotFoundError, IsADirectoryError or PermissionError (VornalixOSError).
        """
        raw = readable_path(path)
        C.vornalix_set_size_limit(self._ctx(), _size_limit(size))
        self._check(C.vornalix_load_arw(self._ctx(), raw, int(scale)))
        self.path = os.fsdecode(raw)
        self._dirty = True
        # Before any rendering the size queries give the loaded image's size,
        # which is also the size of a subject mask.
        self._loaded_size = (C.vornalix_get_width(self._handle), C.vornalix_get_height(self._handle))
        self.set(**FRONT_END_DEFAULTS)

    # -- life cycle -----------------------------------------------------
    def close(self) -> None:
        """Releases the context; the photo can no longer be used."""
        handle, self._handle = getattr(self, "_handle", None), None
        if handle:
            C.vornalix_destroy_context(handle)

    def __enter__(self) -> Photo:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:  # interpreter shutdown: the library may be gone already
            pass

    @property
    def closed(self) -> bool:
        return not self._handle

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"{self.width}x{self.height}"
        return f"<vornalix.Photo {self.path!r} {state}>"

    # -- helpers ----------------------------------------------------------
    def _ctx(self) -> int:
        if not self._handle:
            raise VornalixError("the photo is closed")
        return self._handle

    def _error(self, code: int, kind: Callable[[str, int], VornalixError] = VornalixError) -> VornalixError:
        message = C.vornalix_last_error(self._handle).decode("utf-8", "replace")
        return kind(message or "the library call failed", code)

    def _check(self, code: int, kind: Callable[[str, int], VornalixError] = VornalixError) -> int:
        """`code` when it is no failure; otherwise raises `kind` with the library's message."""
        if code < 0:
            raise self._error(code, kind)
        return code

    def _check_written(self, code: int, raw: bytes) -> None:
        """Raises a write's failure as an OSError naming the file."""
        if code < 0:
            message = C.vornalix_last_error(self._handle).decode("utf-8", "replace")
            raise os_error(errno.EIO, os.fsdecode(raw), message or None, code)

    def _set_output_profile(self, name: str) -> None:
        if name not in _OUTPUT_PROFILES:
            raise VornalixValueError(f"unknown profile {name!r}: use one of {', '.join(_OUTPUT_PROFILES)}")
        self._check(C.vornalix_set_output_profile(self._ctx(), _OUTPUT_PROFILES[name]))

    def _render_if_changed(self) -> None:
        if self._dirty:
            self._check(C.vornalix_process(self._ctx()))
            self._dirty = False

    # -- size -------------------------------------------------------------
    @property
    def width(self) -> int:
        """Width of the current rendering, or of the loaded image before one."""
        return C.vornalix_get_width(self._ctx())

    @property
    def height(self) -> int:
        return C.vornalix_get_height(self._ctx())

    # -- settings ---------------------------------------------------------
    def settings(self) -> dict[str, Any]:
        """The whole edit as a dict (the settings-document schema)."""
        ctx = self._ctx()
        size = self._check(C.vornalix_settings_to_json(ctx, None, 0))
        buffer = ctypes.create_string_buffer(size)
        self._check(C.vornalix_settings_to_json(ctx, buffer, size))
        return json.loads(buffer.value.decode("utf-8"))

    def apply(self, settings: Union[str, Mapping[str, Any]]) -> None:
        """Makes `settings` (a dict or a JSON text) the whole edit; keys left out take their defaults.

        The library checks the whole document first: on a fault nothing changes.
        """
        text = settings if isinstance(settings, str) else _dumps(dict(settings))
        self._check(C.vornalix_settings_from_json(self._ctx(), text.encode("utf-8")), VornalixValueError)
        self._dirty = True

    def set(self, allow_extreme: bool = False, **settings: Any) -> None:
        """Changes the named settings and keeps all others.

        Names are the setters' without ``vornalix_set_``: ``exposure=0.5``,
        ``contrast=20``, ``crop=(x, y, w, h)``, ``flip_h=True``,
        ``tone_curve={"master": [(0, 0), (0.5, 0.6), (1, 1)]}`` (None resets a
        curve), ``hsl={"orange": (hue, saturation, luminance)}``,
        ``split_toning={"highlight": (hue, sat), "shadow": (hue, sat), "balance": b}``,
        ``bg_blur=40`` (the preview's background blur).  A value outside its
        documented range (``SETTINGS``, ``vornalix_settings_schema``) raises
        VornalixValueError unless ``allow_extreme``.  Nothing changes when any value is refused.
        """
        ctx = self._ctx()
        blur = settings.pop("bg_blur", None)
        if blur is not None:
            blur = _plain(blur, "bg_blur")
            if not isinstance(blur, (int, float)):
                raise VornalixValueError(f"setting 'bg_blur': expected a number, found {type(blur).__name__}")
        if settings:
            document = self.settings()
            for key, value in settings.items():
                value = _plain(value, key)
                if not allow_extreme:
                    _check_ranges(key, value)
                if key == "tone_curve" and isinstance(value, dict):
                    value = {k: _IDENTITY_CURVE if v is None else v for k, v in value.items()}
                if key in _NESTED and isinstance(value, dict) and isinstance(document.get(key), dict):
                    value = {**document[key], **value}
                document[key] = value
            self.apply(document)
        if blur is not None:
            C.vornalix_set_bg_blur(ctx, float(blur))

    def reset(self) -> None:
        """Every edit setting back to where a loaded photo starts (FRONT_END_DEFAULTS)."""
        C.vornalix_reset_adjustments(self._ctx())
        self._dirty = True
        self.set(**FRONT_END_DEFAULTS)

    # -- rendering and output ------------------------------------------------
    def preview(self, dtype: npt.DTypeLike = np.uint8) -> npt.NDArray[Any]:
        """Renders and returns the picture as an (H, W, 4) array (R, G, B, A).

        `dtype` numpy.uint8 (0..255), numpy.uint16 (the rendering's full 16
        bits) or numpy.float32 (the 16 bits over 0..1), for hosts doing their
        own colour work.
        """
        kind = np.dtype(dtype)
        if kind not in _PREVIEWS:
            raise VornalixValueError(f"previews come as uint8, uint16 or float32, not {kind}")
        name, samples = _PREVIEWS[kind]
        function = getattr(C, name)
        ctx = self._ctx()
        width, height = C.vornalix_get_width(ctx), C.vornalix_get_height(ctx)
        for _ in range(2):
            out = np.empty(max(width * height * 4, 4), dtype=samples)
            rc = function(ctx, out.ctypes.data, out.nbytes)
            need_w, need_h = C.vornalix_get_width(ctx), C.vornalix_get_height(ctx)
            if rc == 0:
                self._dirty = False
                pixels = out[: need_w * need_h * 4].reshape(need_h, need_w, 4)
                return pixels.astype(np.float32) / np.float32(65535) if kind == np.float32 else pixels.copy()
            if need_w * need_h * 4 <= out.size:
                break
            width, height = need_w, need_h  # the edit enlarged the picture: once more
        raise self._error(rc)

    def export(self, path: PathLike, quality: int = DEFAULT_JPEG_QUALITY, keep_exif: bool = DEFAULT_KEEP_EXIF,
               bits: int = 8, profile: str = "srgb") -> None:
        """Writes the current rendering; the extension decides the format.

        .jpg/.jpeg: 8-bit JPEG at `quality` (1..100); .tif/.tiff: 16-bit TIFF;
        .png: 8- or 16-bit PNG (`bits`); .webp: lossless 8-bit WebP; .bmp:
        8-bit BMP. Every format but BMP carries the source's EXIF when `keep_exif`.
        `profile` is the file's colour space: "srgb", "adobergb", "p3" or
        "prophoto" (for 16-bit files: 8 bits band over its wide gamut).
        A target that cannot be written raises an OSError naming the path at fault.
        """
        ctx = self._ctx()
        _check_range("quality", quality, *JPEG_QUALITY)
        self._set_output_profile(profile)
        raw = writable_path(path)
        ext = os.path.splitext(os.fsdecode(raw))[1].lower()
        self._check(C.vornalix_set_keep_exif(ctx, 1 if keep_exif else 0))
        if ext in (".jpg", ".jpeg", ".webp", ".bmp"):  # the extension picks the 8-bit format
            call = lambda: C.vornalix_export_jpeg(ctx, raw, int(quality), 0, 1 if keep_exif else 0)
        elif ext in (".tif", ".tiff"):
            call = lambda: C.vornalix_export_tiff(ctx, raw)
        elif ext == ".png":
            if bits not in (8, 16):
                raise VornalixValueError(f"PNG files hold 8 or 16 bits per sample, not {bits}")
            call = lambda: C.vornalix_export_png(ctx, raw, int(bits))
        else:
            raise VornalixValueError(f"cannot tell the format of '{os.fsdecode(raw)}': use .jpg, .png, .tif, .webp or .bmp")
        self._render_if_changed()
        self._check_written(call(), raw)

    def histogram(self) -> dict[str, npt.NDArray[np.uint32]]:
        """256-bin counts of the current rendering: dict of red, green, blue, luminance arrays."""
        ctx = self._ctx()
        self._render_if_changed()
        bins = {name: np.zeros(256, dtype=np.uint32) for name in ("red", "green", "blue", "luminance")}
        self._check(C.vornalix_get_histogram(ctx, *(b.ctypes.data for b in bins.values())))
        return bins

    # -- metadata -------------------------------------------------------------
    @property
    def exif(self) -> dict[str, Any]:
        """Camera metadata as a dict; absent text is '', absent numbers 0, absent GPS None."""
        record = Exif()
        self._check(C.vornalix_get_exif(self._ctx(), ctypes.byref(record)))
        info = {}
        for name, _ in Exif._fields_:
            value = getattr(record, name)
            if isinstance(value, bytes):
                value = value.decode("utf-8", "replace")
            elif isinstance(value, float) and math.isnan(value):
                value = None
            info[name] = value
        return info

    # -- automatic analyses (suggestions only: nothing is applied) -----------
    def auto_enhance(self) -> dict[str, float]:
        """Suggested settings, a dict keyed by AUTO_ENHANCE_KEYS."""
        out = (ctypes.c_float * 32)()
        self._check(C.vornalix_auto_enhance(self._ctx(), out))
        return {key: float(out[SETTINGS[key]["suggestion"]]) for key in AUTO_ENHANCE_KEYS}

    def auto_white_balance(self) -> tuple[float, float]:
        """Suggested (temperature, tint)."""
        temperature, tint = ctypes.c_float(), ctypes.c_float()
        self._check(C.vornalix_auto_white_balance(self._ctx(), ctypes.byref(temperature), ctypes.byref(tint)))
        return temperature.value, tint.value

    def measure_white_balance(self) -> tuple[float, float]:
        """(temperature, tint) that neutralise the picture's measured colour cast."""
        temperature, tint = ctypes.c_float(), ctypes.c_float()
        self._check(C.vornalix_measure_white_balance(self._ctx(), ctypes.byref(temperature), ctypes.byref(tint)))
        return temperature.value, tint.value

    def camera_curve(self) -> dict[str, list[tuple[float, float]]]:
        """Curves giving a RAW file the tones of the camera's own JPEG, {name: [(x, y), ...]}
        keyed by CURVES, ready for set(tone_curve=...)."""
        points, count, curves = (ctypes.c_float * 32)(), ctypes.c_int(), {}
        for channel, name in enumerate(CURVES):
            self._check(C.vornalix_camera_curve(self._ctx(), channel, points, 16, ctypes.byref(count)))
            curves[name] = [(points[2 * i], points[2 * i + 1]) for i in range(count.value)]
        return curves

    def camera_saturation(self) -> float:
        """Saturation giving a RAW file, through camera_curve(), the colourfulness of the camera's JPEG."""
        saturation = ctypes.c_float()
        self._check(C.vornalix_camera_saturation(self._ctx(), ctypes.byref(saturation)))
        return saturation.value

    def auto_exposure(self) -> float:
        """Suggested exposure correction in EV."""
        ev = ctypes.c_float()
        self._check(C.vornalix_auto_exposure(self._ctx(), ctypes.byref(ev)))
        return ev.value

    def auto_straighten(self) -> float:
        """The picture's tilt in degrees; level it with set(rotation=-angle)."""
        degrees = ctypes.c_float()
        self._check(C.vornalix_auto_straighten(self._ctx(), ctypes.byref(degrees)))
        return degrees.value

    def auto_crop(self) -> tuple[float, float, float, float]:
        """Suggested crop (x, y, w, h) as fractions, ready for set(crop=...)."""
        box = [ctypes.c_float() for _ in range(4)]
        self._check(C.vornalix_auto_crop(self._ctx(), *(ctypes.byref(v) for v in box)))
        x, y, w, h = (v.value for v in box)
        return x, y, w, h

    # -- subject --------------------------------------------------------------
    def segment(self, x: float = -1.0, y: float = -1.0) -> None:
        """Separates the subject around (x, y), fractions of width and height (negative: centre)."""
        self._check(C.vornalix_segment_subject(self._ctx(), float(x), float(y)))

    def mask(self) -> npt.NDArray[Any]:
        """The subject mask as an (H, W) uint8 array at the loaded image's size (255 subject)."""
        width, height = self._loaded_size
        out = np.empty(max(width * height, 1), dtype=np.uint8)
        self._check(C.vornalix_get_mask(self._ctx(), out.ctypes.data, out.size))
        return out[: width * height].reshape(height, width)

    def save_subject(self, path: PathLike, profile: str = "srgb") -> None:
        """Writes the current rendering with the subject mask as alpha (8-bit PNG)."""
        ctx = self._ctx()
        self._set_output_profile(profile)
        raw = writable_path(path)
        self._render_if_changed()
        self._check(C.vornalix_export_subject_png(ctx, raw))
