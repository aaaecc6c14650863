"""What the Python binding adds to the C interface (the figures are pinned by the library's tests)."""

import math
import os

import numpy as np
import pytest

import vornalix
from vornalix import VornalixError
from vornalix._library import C, available

from conftest import synthetic_rgb, write_png


def png_depth_and_colour_type(path):
    return tuple(open(path, "rb").read(26)[24:26])


def test_set_converts_python_values_and_merges_named_parts(png):
    with vornalix.open(png) as photo:
        photo.set(contrast=23.5, crop=(0.25, 0.125, 0.5, 0.75), flip_h=True, flip_v=np.int64(0),
                  hsl={"red": (1, 2, 3)},
                  tone_curve={"red": [(0, 0.1), (1, 1)], "blue": np.array([[0, 0.25], [1, 0.75]])},
                  split_toning={"highlight": (40, 20), "balance": 5})
        photo.set(hsl={"blue": (4, 5, 6)}, tone_curve={"red": None, "green": [(0, 0), (0.5, 0.4), (1, 1)]})
        s = photo.settings()
        # values a float holds exactly, so the document gives them back as given
        assert s["contrast"] == 23.5 and s["crop"] == [0.25, 0.125, 0.5, 0.75] and s["flip_h"] == 1 and s["flip_v"] == 0
        assert s["hsl"]["red"] == [1, 2, 3] and s["hsl"]["blue"] == [4, 5, 6]
        assert s["tone_curve"]["red"] == [[0, 0], [1, 1]] and len(s["tone_curve"]["green"]) == 3
        assert s["tone_curve"]["blue"] == [[0, 0.25], [1, 0.75]]
        assert s["split_toning"]["highlight"] == [40, 20] and s["split_toning"]["balance"] == 5
        photo.reset()
        assert photo.settings()["temperature"] == 6500  # as shot, as on the command line
        photo.set(exposure=0.5)
        for kwargs, named in [(dict(exposur=1.0), "exposur"), (dict(exposure=math.nan), "exposure"),
                              (dict(exposure=object()), "settings"),
                              (dict(contrast=1000), "contrast 1000 is outside -100..100"),
                              (dict(crop=(2, 2, 0.5, 0.5)), "crop 2 is outside 0..1")]:
            with pytest.raises(VornalixError) as caught:
                photo.set(**kwargs)
            assert named in caught.value.message and caught.value.code == -1
        assert photo.settings()["exposure"] == 0.5  # nothing changed
        with pytest.raises(ValueError, match="quality 500 is outside 1..100"):
            photo.export("x.jpg", quality=500)
        with pytest.raises(ValueError, match="uint8, uint16 or float32"):
            photo.preview(np.int32)
        samples = np.empty(48 * 64 * 4, np.uint16)  # the 16-bit preview's size counts bytes
        assert C.vornalix_get_preview16(photo._handle, samples.ctypes.data, samples.nbytes - 1) == -1
        photo.set(contrast=1000, allow_extreme=True)
        assert photo.settings()["contrast"] == 1000


def test_outputs_render_the_latest_settings(png, tmp_path):
    with vornalix.open(png) as photo:
        # as shot: the colours are left alone, rows, columns and channels in order
        assert np.abs(photo.preview()[..., :3].astype(int) - synthetic_rgb()).max() <= 1
        dark = photo.histogram()["luminance"]
        photo.export(tmp_path / "before.png")
        photo.set(exposure=1.0)  # no preview in between: each output must render
        photo.export(tmp_path / "after.png", bits=16)
        photo.export(str(tmp_path / "after.jpg"), quality=80, keep_exif=False)
        photo.export(tmp_path / "after.tif", profile="p3")
        with pytest.raises(VornalixError, match="unknown profile"):
            photo.export(tmp_path / "x.jpg", profile="rec2020")
        photo.set(exposure=1.5)
        bright = photo.histogram()
    assert [png_depth_and_colour_type(tmp_path / n) for n in ("before.png", "after.png")] == [(8, 2), (16, 2)]
    with vornalix.open(tmp_path / "before.png") as before, vornalix.open(tmp_path / "after.png") as after:
        assert after.preview()[..., :3].mean() > before.preview()[..., :3].mean() + 20
    assert (tmp_path / "after.jpg").read_bytes()[:2] == b"\xff\xd8" and not (tmp_path / "x.jpg").exists()
    assert "Display P3".encode("utf-16-be") in (tmp_path / "after.tif").read_bytes()
    assert list(bright) == ["red", "green", "blue", "luminance"] and bright["red"].sum() == 64 * 48
    assert (np.arange(256) * bright["luminance"]).sum() > (np.arange(256) * dark).sum()


def test_metadata_analyses_and_subject(png, tmp_path):
    with vornalix.open(png) as photo:
        assert photo.exif["make"] == "" and photo.exif["gps_latitude"] is None
        assert list(photo.auto_enhance()) == list(vornalix.AUTO_ENHANCE_KEYS)
        # temperature, tint, EV, degrees, then the crop's x, y, width and height
        values = [*photo.auto_white_balance(), photo.auto_exposure(), photo.auto_straighten(), *photo.auto_crop()]
        assert len(values) == 8 and values[0] > 1000 and values[6] > 0 and values[7] > 0
        with pytest.raises(VornalixError):
            photo.mask()  # nothing segmented yet
        photo.segment(0.5, 0.5)
        mask = photo.mask()
        assert mask.shape == (48, 64) and mask.dtype == np.uint8 and mask[24, 32] > mask[2, 2]
        photo.save_subject(tmp_path / "subject.png")
    assert png_depth_and_colour_type(tmp_path / "subject.png") == (8, 6)  # RGBA


@pytest.mark.parametrize("dtype, top", [(np.uint8, 255), (np.uint16, 65535), (np.float32, 1)])
def test_previews_come_in_each_dtype_with_the_same_picture(png, dtype, top):
    with vornalix.open(png) as photo:
        photo.segment(0.5, 0.5)
        photo.set(exposure=0.7, bg_blur=60)  # edited and blurred alike at every depth
        eight, pixels = photo.preview(), photo.preview(dtype)
    assert pixels.dtype == dtype and pixels.shape == (48, 64, 4) and (pixels[..., 3] == top).all()
    assert np.abs(pixels / top * 255 - eight).max() <= 1.5  # the 8-bit blur rounds twice


# action, path given, path at fault (named in the error), built-in raised
@pytest.mark.parametrize("action, target, culprit, kind", [
    ("open", "missing.png", "missing.png", FileNotFoundError), ("open", "folder", "folder", IsADirectoryError),
    ("open", "locked.png", "locked.png", PermissionError), ("phash", "folder", "folder", IsADirectoryError),
    ("thumbnail", "missing.png", "missing.png", FileNotFoundError),
    ("export", "missing/x.jpg", "missing", FileNotFoundError), ("export", "folder", "folder", IsADirectoryError),
    ("export", "photo.png/x.jpg", "photo.png", NotADirectoryError), ("export", "x.gif", None, ValueError)])
def test_failures_raise_the_matching_builtin(png, tmp_path, action, target, culprit, kind):
    if kind is PermissionError and os.geteuid() == 0:
        pytest.skip("root reads any file")
    (tmp_path / "folder").mkdir()
    os.chmod(write_png(tmp_path / "locked.png", synthetic_rgb()), 0)
    with vornalix.open(png) as photo, pytest.raises(kind) as caught:
        getattr(vornalix if action != "export" else photo, action)(tmp_path / target)
    assert isinstance(caught.value, VornalixError) and caught.value.code == -1
    if culprit:
        assert caught.value.filename == str(tmp_path / culprit) and str(tmp_path / culprit) in caught.value.message


def test_failures_raise_with_the_library_message_and_closed_photos_refuse(tmp_path):
    with pytest.raises(VornalixError, match="NUL"):
        vornalix.open("a\0b.png")
    with vornalix.Photo() as empty:
        with pytest.raises(VornalixError, match="no image loaded"):
            empty.export(tmp_path / "x.png")
    with pytest.raises(VornalixError, match="closed"):
        empty.preview()
    empty.close()  # twice is harmless


@pytest.mark.skipif(not available("vornalix_phash"), reason="library without file utilities")
def test_thumbnails_and_hashes(png, tmp_path):
    assert vornalix.thumbnail(png)[:2] == b"\xff\xd8" and 0 < vornalix.phash(png) < 2**64
    assert vornalix.hamming(0, 2**64 - 1) == 64 and vornalix.hamming(0b1011, 0b0001) == 2
    with pytest.raises(VornalixError, match="cannot be read"):
        vornalix.phash(write_png(tmp_path / "empty.png", synthetic_rgb(0, 0)))

