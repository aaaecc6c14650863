"""One photograph in one library context."""

import ctypes
import json
import math
import os
from collections.abc import Mapping

import numpy as np

from ._library import C, Exif, VornalixError, VornalixValueError

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
JPEG_QUALITY = (1, 100)
DEFAULT_JPEG_QUALITY = 92  # the command line's
CURVES = ("master", "red", "green", "blue")
HSL_BANDS = ("red", "orange", "yellow", "green", "aqua", "blue", "purple", "magenta")
# Settings made of named parts: a partial value in set() changes only the parts it names.
_NESTED = ("tone_curve", "hsl", "split_toning")
_IDENTITY_CURVE = [[0.0, 0.0], [1.0, 1.0]]
# The output colour spaces, numbered as the C constants VORNALIX_PROFILE_*.
_OUTPUT_PROFILES = {"srgb": 0, "adobergb": 1, "p3": 2, "prophoto": 3}


def encode_path(path):
    """A path (str, bytes or os.PathLike) as the bytes the C interface takes."""
    try:
        raw = os.fsencode(os.fspath(path))
    except TypeError:
        raise VornalixError(f"expected a file path, got {type(path).__name__}") from None
    if b"\0" in raw:
        raise VornalixError("file path contains a NUL character")
    return raw


def _plain(value, key):
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
        raise VornalixError(f"setting '{key}': {value} is not a finite number")
    return value


_EXTREME = " (allow_extreme=True lets it through)"


def _check_range(key, value, low, high, hint=""):
    if isinstance(value, (int, float)) and not low <= value <= high:
        raise VornalixValueError(f"{key} {value} is outside {low:g}..{high:g}{hint}")


def _check_ranges(key, value):
    """Each number of `value` (plain data) within its documented range: a setting's own, or its part's."""
    def check(part, numbers):
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


def _dumps(document):
    try:
        return json.dumps({k: _plain(v, k) for k, v in document.items()}, allow_nan=False)
    except (TypeError, ValueError) as e:
        raise VornalixError(f"settings: {e}") from None


def _size_limit(size):
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

    def __init__(self, path=None, scale=1, size=None):
        self.path = None
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

    def load(self, path, scale=1, size=None):
        """Loads another photograph into this context; every setting returns to FRONT_END_DEFAULTS.

        `size`: None the full size, an int a long side of that many pixels,
        "preview" the library's default bounds (RAW 2000, others 4096).
        On failure the previous photograph and its settings stay.
        """
        raw = encode_path(path)
        C.vornalix_set_size_limit(self._ctx(), _size_limit(size))
        self._check(C.vornalix_load_arw(self._ctx(), raw, int(scale)))
        self.path = os.fsdecode(raw)
        self._dirty = True
        # Before any rendering the size queries give the loaded image's size,
        # which is also the size of a subject mask.
        self._loaded_size = (C.vornalix_get_width(self._handle), C.vornalix_get_height(self._handle))
        self.set(**FRONT_END_DEFAULTS)

    # -- life cycle -----------------------------------------------------
    def close(self):
        """Releases the context; the photo can no longer be used."""
        handle, self._handle = getattr(self, "_handle", None), None
        if handle:
            C.vornalix_destroy_context(handle)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __del__(self):
        try:
            self.close()
        except Exception:  # interpreter shutdown: the library may be gone already
            pass

    @property
    def closed(self):
        return not self._handle

    def __repr__(self):
        state = "closed" if self.closed else f"{self.width}x{self.height}"
        return f"<vornalix.Photo {self.path!r} {state}>"

    # -- helpers ----------------------------------------------------------
    def _ctx(self):
        if not self._handle:
            raise VornalixError("the photo is closed")
        return self._handle

    def _error(self, code):
        message = C.vornalix_last_error(self._handle).decode("utf-8", "replace")
        return VornalixError(message or "the library call failed", code)

    def _check(self, code):
        if code < 0:
            raise self._error(code)
        return code

    def _set_output_profile(self, name):
        if name not in _OUTPUT_PROFILES:
            raise VornalixError(f"unknown profile {name!r}: use one of {', '.join(_OUTPUT_PROFILES)}")
        self._check(C.vornalix_set_output_profile(self._ctx(), _OUTPUT_PROFILES[name]))

    def _render_if_changed(self):
        if self._dirty:
            self._check(C.vornalix_process(self._ctx()))
            self._dirty = False

    # -- size -------------------------------------------------------------
    @property
    def width(self):
        """Width of the current rendering, or of the loaded image before one."""
        return C.vornalix_get_width(self._ctx())

    @property
    def height(self):
        return C.vornalix_get_height(self._ctx())

    # -- settings ---------------------------------------------------------
    def settings(self):
        """The whole edit as a dict (the settings-document schema)."""
        ctx = self._ctx()
        size = self._check(C.vornalix_settings_to_json(ctx, None, 0))
        buffer = ctypes.create_string_buffer(size)
        self._check(C.vornalix_settings_to_json(ctx, buffer, size))
        return json.loads(buffer.value.decode("utf-8"))

    def apply(self, settings):
        """Makes `settings` (a dict or a JSON text) the whole edit; keys left out take their defaults.

        The library checks the whole document first: on a fault nothing changes.
        """
        text = settings if isinstance(settings, str) else _dumps(dict(settings))
        self._check(C.vornalix_settings_from_json(self._ctx(), text.encode("utf-8")))
        self._dirty = True

    def set(self, allow_extreme=False, **settings):
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
                raise VornalixError(f"setting 'bg_blur': expected a number, found {type(blur).__name__}")
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

    def reset(self):
        """Every edit setting back to where a loaded photo starts (FRONT_END_DEFAULTS)."""
        C.vornalix_reset_adjustments(self._ctx())
        self._dirty = True
        self.set(**FRONT_END_DEFAULTS)

    # -- rendering and output ------------------------------------------------
    def preview(self):
        """Renders and returns the 8-bit picture as an (H, W, 4) uint8 array (R, G, B, A)."""
        ctx = self._ctx()
        width, height = C.vornalix_get_width(ctx), C.vornalix_get_height(ctx)
        for _ in range(2):
            out = np.empty(max(width * height * 4, 4), dtype=np.uint8)
            rc = C.vornalix_get_preview(ctx, out.ctypes.data, out.size)
            need_w, need_h = C.vornalix_get_width(ctx), C.vornalix_get_height(ctx)
            if rc == 0:
                self._dirty = False
                return out[: need_w * need_h * 4].reshape(need_h, need_w, 4).copy()
            if need_w * need_h * 4 <= out.size:
                break
            width, height = need_w, need_h  # the edit enlarged the picture: once more
        raise self._error(rc)

    def export(self, path, quality=DEFAULT_JPEG_QUALITY, keep_exif=True, bits=8, profile="srgb"):
        """Writes the current rendering; the extension decides the format.

        .jpg/.jpeg: 8-bit JPEG at `quality` (1..100), with the source's EXIF
        when `keep_exif`; .tif/.tiff: 16-bit TIFF; .png: 8- or 16-bit PNG (`bits`).
        `profile` is the file's colour space: "srgb", "adobergb", "p3" or
        "prophoto" (for 16-bit files: 8 bits band over its wide gamut).
        """
        ctx = self._ctx()
        _check_range("quality", quality, *JPEG_QUALITY)
        self._set_output_profile(profile)
        raw = encode_path(path)
        ext = os.path.splitext(os.fsdecode(raw))[1].lower()
        if ext in (".jpg", ".jpeg"):
            call = lambda: C.vornalix_export_jpeg(ctx, raw, int(quality), 0, 1 if keep_exif else 0)
        elif ext in (".tif", ".tiff"):
            call = lambda: C.vornalix_export_tiff(ctx, raw)
        elif ext == ".png":
            if bits not in (8, 16):
                raise VornalixError(f"PNG files hold 8 or 16 bits per sample, not {bits}")
            call = lambda: C.vornalix_export_png(ctx, raw, int(bits))
        else:
            raise VornalixError(f"cannot tell the format of '{os.fsdecode(raw)}': use .jpg, .tif or .png")
        self._render_if_changed()
        self._check(call())

    def histogram(self):
        """256-bin counts of the current rendering: dict of red, green, blue, luminance arrays."""
        ctx = self._ctx()
        self._render_if_changed()
        bins = {name: np.zeros(256, dtype=np.uint32) for name in ("red", "green", "blue", "luminance")}
        self._check(C.vornalix_get_histogram(ctx, *(b.ctypes.data for b in bins.values())))
        return bins

    # -- metadata -------------------------------------------------------------
    @property
    def exif(self):
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
    def auto_enhance(self):
        """Suggested settings, a dict keyed by AUTO_ENHANCE_KEYS."""
        out = (ctypes.c_float * 32)()
        self._check(C.vornalix_auto_enhance(self._ctx(), out))
        return {key: float(out[SETTINGS[key]["suggestion"]]) for key in AUTO_ENHANCE_KEYS}

    def auto_white_balance(self):
        """Suggested (temperature, tint)."""
        temperature, tint = ctypes.c_float(), ctypes.c_float()
        self._check(C.vornalix_auto_white_balance(self._ctx(), ctypes.byref(temperature), ctypes.byref(tint)))
        return temperature.value, tint.value

    def auto_exposure(self):
        """Suggested exposure correction in EV."""
        ev = ctypes.c_float()
        self._check(C.vornalix_auto_exposure(self._ctx(), ctypes.byref(ev)))
        return ev.value

    def auto_straighten(self):
        """The picture's tilt in degrees; level it with set(rotation=-angle)."""
        degrees = ctypes.c_float()
        self._check(C.vornalix_auto_straighten(self._ctx(), ctypes.byref(degrees)))
        return degrees.value

    def auto_crop(self):
        """Suggested crop (x, y, w, h) as fractions, ready for set(crop=...)."""
        box = [ctypes.c_float() for _ in range(4)]
        self._check(C.vornalix_auto_crop(self._ctx(), *(ctypes.byref(v) for v in box)))
        return tuple(v.value for v in box)

    # -- subject --------------------------------------------------------------
    def segment(self, x=-1.0, y=-1.0):
        """Separates the subject around (x, y), fractions of width and height (negative: centre)."""
        self._check(C.vornalix_segment_subject(self._ctx(), float(x), float(y)))

    def mask(self):
        """The subject mask as an (H, W) uint8 array at the loaded image's size (255 subject)."""
        width, height = self._loaded_size
        out = np.empty(max(width * height, 1), dtype=np.uint8)
        self._check(C.vornalix_get_mask(self._ctx(), out.ctypes.data, out.size))
        return out[: width * height].reshape(height, width)

    def save_subject(self, path, profile="srgb"):
        """Writes the current rendering with the subject mask as alpha (8-bit PNG)."""
        ctx = self._ctx()
        self._set_output_profile(profile)
        raw = encode_path(path)
        self._render_if_changed()
        self._check(C.vornalix_export_subject_png(ctx, raw))
