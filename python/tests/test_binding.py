"""The Python binding: settings, renders, files, analyses, errors and life cycle."""

import math
import struct

import numpy as np
import pytest

import vornalix
from vornalix import VornalixError
from vornalix._library import available

from conftest import synthetic_rgb, write_png


def png_header(path):
    """(width, height, bit depth, colour type) of a PNG file."""
    with open(path, "rb") as f:
        head = f.read(33)
    assert head[:8] == b"\x89PNG\r\n\x1a\n"
    return struct.unpack(">IIBB", head[16:26])


# -- settings -------------------------------------------------------------

# One change per setter family, with the value the library stores (float32).
FAMILIES = [
    dict(exposure=0.1, contrast=23.7, shadows=-12.5, temperature=6100, tint=7.25),
    dict(saturation=-10, vibrance=12, clarity=15, texture=-5, dehaze=8),
    dict(sharpening_amount=40, sharpening_radius=1.5, sharpening_threshold=10, nr_luminance=5, nr_color=3),
    dict(distortion=10, ca_correction=4, lens_vignette=10, defringe=20),
    dict(crop=(0.05, 0.1, 0.9, 0.8), rotation=1.5, perspective_h=5, perspective_v=-5, flip_h=True, flip_v=0),
    dict(vignette_amount=-20, vignette_midpoint=40, vignette_roundness=10, grain_size=40),
    dict(tone_curve={"master": [(0, 0.05), (0.5, 0.6), (1, 0.97)], "blue": np.array([[0, 0.1], [1, 0.9]])}),
    dict(hsl={"orange": (5, -20, 10), "magenta": (-3, 8, -6.5)}),
    dict(split_toning={"highlight": (40, 20), "shadow": (210, 12), "balance": -15}),
]


def stored(value):
    """What a settings document holds for a value given to set()."""
    if isinstance(value, dict):
        return {k: stored(v) for k, v in value.items()}
    if isinstance(value, (list, tuple, np.ndarray)):
        return [stored(v) for v in value]
    return float(np.float32(value))


@pytest.mark.parametrize("family", FAMILIES, ids=lambda f: next(iter(f)))
def test_every_setter_family_round_trips_through_a_render(png, family):
    with vornalix.open(png) as photo, vornalix.open(png) as copy:
        photo.set(**family)
        settings = photo.settings()
        for key, value in family.items():
            got = settings[key]
            if isinstance(value, dict):
                got = {k: got[k] for k in value}
            assert stored(got) == stored(value), key
        copy.apply(settings)
        assert copy.settings() == settings
        assert np.array_equal(copy.preview(), photo.preview())


def test_partial_nested_settings_keep_the_rest(png):
    with vornalix.open(png) as photo:
        photo.set(hsl={"red": (1, 2, 3)}, tone_curve={"red": [(0, 0.1), (1, 1)]}, split_toning={"balance": 5})
        photo.set(hsl={"blue": (4, 5, 6)}, tone_curve={"red": None, "green": [(0, 0), (0.5, 0.4), (1, 1)]})
        s = photo.settings()
        assert s["hsl"]["red"] == [1, 2, 3] and s["hsl"]["blue"] == [4, 5, 6]
        assert s["tone_curve"]["red"] == [[0, 0], [1, 1]]
        assert len(s["tone_curve"]["green"]) == 3
        assert s["split_toning"]["balance"] == 5
        photo.reset()
        assert photo.settings()["temperature"] == 5500  # the library's own default


def test_refused_settings_name_the_key_and_change_nothing(png):
    with vornalix.open(png) as photo:
        photo.set(exposure=0.5)
        before = photo.settings()
        cases = [
            (dict(exposur=1.0), "exposur"),
            (dict(exposure=1.0, contrast="high"), "contrast"),
            (dict(tone_curve={"master": [(0, 0)]}), "tone_curve.master"),
            (dict(hsl={"cyan": (0, 0, 0)}), "hsl.cyan"),
            (dict(crop=(0.1, 0.1)), "crop"),
            (dict(exposure=math.nan), "exposure"),
            (dict(exposure=object()), "settings"),
        ]
        for kwargs, named in cases:
            with pytest.raises(VornalixError) as caught:
                photo.set(**kwargs)
            assert named in caught.value.message and caught.value.code == -1
            assert photo.settings() == before
        with pytest.raises(VornalixError, match="not valid JSON"):
            photo.apply('{"exposure": 1,')
        assert photo.settings() == before


# -- rendering and files ------------------------------------------------------

def test_preview_is_rgba_uint8_of_the_picture(png):
    with vornalix.open(png) as photo:
        assert (photo.width, photo.height) == (64, 48)
        pixels = photo.preview()
        assert pixels.shape == (48, 64, 4) and pixels.dtype == np.uint8
        assert (pixels[..., 3] == 255).all()
        photo.set(temperature=6500, tint=0)  # leaves the colours alone
        near = photo.preview()[..., :3].astype(int) - synthetic_rgb().astype(int)
        assert np.abs(near).max() <= 1


def test_export_embeds_the_chosen_profile(png, tmp_path):
    with vornalix.open(png) as photo:
        photo.export(tmp_path / "p3.jpg", profile="p3")
        with pytest.raises(VornalixError, match="unknown profile"):
            photo.export(tmp_path / "x.jpg", profile="rec2020")
    assert "Display P3".encode("utf-16-be") in (tmp_path / "p3.jpg").read_bytes()
    assert not (tmp_path / "x.jpg").exists()


def test_exports_render_the_latest_settings(png, tmp_path):
    with vornalix.open(png) as photo:
        photo.preview()
        photo.export(tmp_path / "before.png")
        photo.set(exposure=1.0)  # no preview in between: the export must render
        photo.export(tmp_path / "after.png", bits=16)
        photo.export(tmp_path / "after.jpg", quality=80, keep_exif=False)
        photo.export(str(tmp_path / "after.tif"))
        hist_after = photo.histogram()
    assert png_header(tmp_path / "before.png") == (64, 48, 8, 2)
    assert png_header(tmp_path / "after.png") == (64, 48, 16, 2)
    with vornalix.open(tmp_path / "before.png") as before, vornalix.open(tmp_path / "after.png") as after:
        assert after.preview()[..., :3].mean() > before.preview()[..., :3].mean() + 20
    for name in ("after.jpg", "after.tif"):
        with vornalix.open(tmp_path / name) as written:
            assert written.preview().shape == (48, 64, 4)
    assert set(hist_after) == {"red", "green", "blue", "luminance"}
    for counts in hist_after.values():
        assert counts.shape == (256,) and counts.dtype == np.uint32 and counts.sum() == 64 * 48


def test_histogram_follows_settings_without_a_preview(png):
    with vornalix.open(png) as photo:
        dark = photo.histogram()["luminance"]
        photo.set(exposure=1.5)
        bright = photo.histogram()["luminance"]
        assert (np.arange(256) * bright).sum() > (np.arange(256) * dark).sum()


# -- metadata and analyses ------------------------------------------------------

def test_exif_of_a_camera_file_and_of_a_png(cr2, png):
    with vornalix.open(cr2, scale=4) as photo:
        exif = photo.exif
        assert exif["make"].startswith("Canon") and exif["iso"] > 0 and exif["exposure_time"] > 0
        assert exif["gps_latitude"] is None and exif["gps_longitude"] is None
        assert photo.preview().shape[2] == 4
    with vornalix.open(png) as photo:
        assert photo.exif["make"] == "" and photo.exif["gps_latitude"] is None


def test_analyses_report_and_change_nothing(png):
    with vornalix.open(png) as photo:
        before = photo.settings()
        enhance = photo.auto_enhance()
        assert list(enhance) == list(vornalix.AUTO_ENHANCE_KEYS) and len(enhance) == 16
        assert all(isinstance(v, float) for v in enhance.values())
        temperature, tint = photo.auto_white_balance()
        assert 1000 < temperature < 20000 and isinstance(tint, float)
        assert -1 <= photo.auto_exposure() <= 1
        assert -45 <= photo.auto_straighten() <= 45
        x, y, w, h = photo.auto_crop()
        assert 0 <= x and 0 <= y and 0 < w and 0 < h and x + w <= 1 + 1e-6 and y + h <= 1 + 1e-6
        assert photo.settings() == before


def test_subject_mask_and_cut_out(png, tmp_path):
    with vornalix.open(png) as photo:
        with pytest.raises(VornalixError):
            photo.mask()  # nothing segmented yet
        photo.segment(0.5, 0.5)
        mask = photo.mask()
        assert mask.shape == (48, 64) and mask.dtype == np.uint8
        assert mask[24, 32] > mask[2, 2]
        photo.set(bg_blur=50)
        assert photo.preview().shape == (48, 64, 4)
        photo.save_subject(tmp_path / "subject.png")
    assert png_header(tmp_path / "subject.png")[3] == 6  # RGBA


# -- errors and life cycle ------------------------------------------------------

def test_failures_raise_with_the_library_message(tmp_path):
    with pytest.raises(VornalixError) as caught:
        vornalix.open(tmp_path / "missing.jpg")
    assert caught.value.code == -1 and caught.value.message
    (tmp_path / "garbage.cr2").write_bytes(b"not a raw file" * 10)
    with pytest.raises(VornalixError):
        vornalix.open(tmp_path / "garbage.cr2")
    with pytest.raises(VornalixError, match="NUL"):
        vornalix.open("a\0b.png")
    with vornalix.Photo() as empty:
        for call in (empty.preview, empty.histogram, empty.auto_enhance, lambda: empty.export(tmp_path / "x.png")):
            with pytest.raises(VornalixError, match="no image loaded"):
                call()
    assert not (tmp_path / "x.png").exists()


def test_a_failed_load_keeps_the_photo(png, tmp_path):
    with vornalix.open(png) as photo:
        photo.set(exposure=0.7)
        with pytest.raises(VornalixError):
            photo.load(tmp_path / "missing.png")
        assert photo.settings()["exposure"] == pytest.approx(0.7)
        assert photo.preview().shape == (48, 64, 4)


def test_with_block_releases_the_context(png):
    with vornalix.open(png) as photo:
        assert not photo.closed
    assert photo.closed
    with pytest.raises(VornalixError, match="closed"):
        photo.preview()
    photo.close()  # twice is harmless
    for _ in range(200):  # many short-lived photos: contexts are released, not leaked
        vornalix.open(png).close()


# -- file utilities ------------------------------------------------------------------

needs_files = pytest.mark.skipif(not available("vornalix_phash"), reason="library without file utilities")


@needs_files
def test_thumbnails_and_hashes(png, cr2, tmp_path):
    jpeg = vornalix.thumbnail(png)
    assert jpeg[:2] == b"\xff\xd8" and len(jpeg) > 100
    assert vornalix.thumbnail(cr2)[:2] == b"\xff\xd8"
    same = vornalix.phash(png)
    assert isinstance(same, int) and 0 <= same < 2**64
    brighter = write_png(tmp_path / "brighter.png", np.clip(synthetic_rgb().astype(int) + 12, 0, 255))
    other = write_png(tmp_path / "other.png", synthetic_rgb()[::-1, ::-1])
    assert vornalix.hamming(same, vornalix.phash(png)) == 0
    assert vornalix.hamming(same, vornalix.phash(brighter)) < vornalix.hamming(same, vornalix.phash(other))
    assert isinstance(vornalix.phash(cr2), int)
    for utility in (vornalix.thumbnail, vornalix.phash):
        with pytest.raises(VornalixError) as caught:
            utility(tmp_path / "missing.png")
        assert caught.value.code < 0


def test_hamming_counts_bits():
    assert vornalix.hamming(0, 2**64 - 1) == 64
    assert vornalix.hamming(0b1011, 0b0001) == 2
