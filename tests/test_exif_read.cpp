// Reading EXIF into the C record: field sources, fallbacks, malformed entries.

#include "metadata/exif.h"
#include "metadata/exif_source.h"
#include "support/context_access.h"
#include "support/exif_fixtures.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

using fixtures::ExifBuilder;

namespace {

constexpr ExifIfd kIfd0 = EXIF_IFD_0;
constexpr ExifIfd kExif = EXIF_IFD_EXIF;
constexpr ExifIfd kGps = EXIF_IFD_GPS;

VornalixExif read_block(const vornalix::testing::TempDir& dir, const ExifBuilder& b) {
    const std::string path = dir.file("in.jpg");
    fixtures::write_bytes(path, fixtures::jpeg_with_exif(b.block()));
    VornalixExif out;
    EXPECT_TRUE(vornalix::metadata::read_exif(path, out));
    return out;
}

}  // namespace

TEST(ExifRead, FieldsFromTheirTagsLongTextAndGps) {
    vornalix::testing::TempDir dir;
    ExifBuilder b;
    // Over-long text is cut to the field and terminated.
    b.ascii(kIfd0, EXIF_TAG_MAKE, std::string(100, 'M')).ascii(kExif, EXIF_TAG_LENS_MODEL, std::string(200, 'L'))
        .rational(kExif, EXIF_TAG_FNUMBER, 28, 10)
        .rational(kExif, EXIF_TAG_EXPOSURE_TIME, 1, 250)
        .rational(kExif, EXIF_TAG_APERTURE_VALUE, 8, 1)  // ignored: FNumber wins
        .short_value(kExif, EXIF_TAG_ISO_SPEED_RATINGS, 400)
        .ascii(kExif, EXIF_TAG_DATE_TIME_ORIGINAL, "2021:05:06 07:08:09")
        .ascii(kIfd0, EXIF_TAG_DATE_TIME, "1999:01:01 00:00:00")
        .short_value(kIfd0, EXIF_TAG_ORIENTATION, 6)
        .short_value(kExif, EXIF_TAG_PIXEL_X_DIMENSION, 640).long_value(kExif, EXIF_TAG_PIXEL_Y_DIMENSION, 480)
        // West is negative, a missing reference counts as north, a zero denominator as 0.
        .rationals(kGps, EXIF_TAG_GPS_LATITUDE, {{48, 1}, {51, 1}, {2400, 100}})
        .ascii(kGps, EXIF_TAG_GPS_LONGITUDE_REF, "W").rationals(kGps, EXIF_TAG_GPS_LONGITUDE, {{2, 1}, {21, 1}, {0, 0}});
    const VornalixExif e = read_block(dir, b);
    EXPECT_EQ(std::string(e.make), std::string(63, 'M'));
    EXPECT_EQ(std::string(e.lens), std::string(127, 'L'));
    EXPECT_FLOAT_EQ(e.aperture, 2.8f);
    EXPECT_FLOAT_EQ(e.exposure_time, 0.004f);
    EXPECT_EQ(e.iso, 400);
    EXPECT_STREQ(e.datetime, "2021:05:06 07:08:09");
    EXPECT_EQ(e.orientation, 6);
    EXPECT_EQ(e.width, 640);
    EXPECT_EQ(e.height, 480);
    EXPECT_NEAR(e.gps_latitude, 48.0 + 51.0 / 60.0 + 24.0 / 3600.0, 1e-9);
    EXPECT_NEAR(e.gps_longitude, -(2.0 + 21.0 / 60.0), 1e-9);
}

// APEX values stand in for missing FNumber and ExposureTime, DateTime for
// DateTimeOriginal; a zero denominator gives 2^0 = 1 for an APEX value and 0
// for a direct one.
TEST(ExifRead, ApexFallbacksAndZeroDenominators) {
    vornalix::testing::TempDir dir;
    ExifBuilder b;
    b.rational(kExif, EXIF_TAG_APERTURE_VALUE, 4, 1).srational(kExif, EXIF_TAG_SHUTTER_SPEED_VALUE, -2, 1)
        .ascii(kIfd0, EXIF_TAG_DATE_TIME, "1999:01:01 00:00:00");
    VornalixExif e = read_block(dir, b);
    EXPECT_FLOAT_EQ(e.aperture, 4.0f);
    EXPECT_FLOAT_EQ(e.exposure_time, 4.0f);  // 1 / 2^-2 seconds
    EXPECT_STREQ(e.datetime, "1999:01:01 00:00:00");
    ExifBuilder apex_zero, direct_zero;
    apex_zero.rational(kExif, EXIF_TAG_APERTURE_VALUE, 4, 0).srational(kExif, EXIF_TAG_SHUTTER_SPEED_VALUE, 8, 0);
    e = read_block(dir, apex_zero);
    EXPECT_EQ(e.aperture, 1.0f);
    EXPECT_EQ(e.exposure_time, 1.0f);
    direct_zero.rational(kExif, EXIF_TAG_FNUMBER, 28, 0).rational(kExif, EXIF_TAG_EXPOSURE_TIME, 1, 0);
    e = read_block(dir, direct_zero);
    EXPECT_EQ(e.aperture + e.exposure_time, 0.0f);
}

// Entries whose stored format or size does not match are never read at a
// fixed width (the sanitizer build sees any over-read); they count as absent.
TEST(ExifRead, MalformedEntriesStayZero) {
    vornalix::testing::TempDir dir;
    ExifBuilder b;
    b.raw(kExif, EXIF_TAG_FOCAL_LENGTH, EXIF_FORMAT_BYTE, 1, {50})
        .raw(kExif, EXIF_TAG_ISO_SPEED_RATINGS, EXIF_FORMAT_ASCII, 1, {'4'})
        .rational(kExif, EXIF_TAG_APERTURE_VALUE, 300, 1)               // 2^150: beyond float
        .srational(kExif, EXIF_TAG_SHUTTER_SPEED_VALUE, -300, 1)         // 1/2^-300 overflows
        .rationals(kGps, EXIF_TAG_GPS_LATITUDE, {{48, 1}, {51, 1}});  // two of three
    const VornalixExif e = read_block(dir, b);
    EXPECT_EQ(e.focal_length + e.aperture + e.exposure_time, 0.0f);
    EXPECT_EQ(e.iso, 0);
    EXPECT_TRUE(std::isnan(e.gps_latitude));

    // An entry claiming more values than its bytes hold is not read either.
    unsigned char three[3] = {1, 0, 0};
    ExifEntry short_entry{EXIF_TAG_FNUMBER, EXIF_FORMAT_RATIONAL, 1, three, sizeof three, nullptr, nullptr};
    EXPECT_FALSE(vornalix::metadata::entry_holds(&short_entry, EXIF_FORMAT_RATIONAL, 1));
    short_entry.size = 0;
    short_entry.data = nullptr;
    EXPECT_FALSE(vornalix::metadata::entry_holds(&short_entry, EXIF_FORMAT_RATIONAL, 1));
}

TEST(ExifRead, FilesWithoutExif) {
    vornalix::testing::TempDir dir;
    fixtures::write_bytes(dir.file("plain.jpg"), fixtures::plain_jpeg());
    fixtures::write_bytes(dir.file("garbage.jpg"), {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF, 'E', 'x', 'i', 'f'});
    for (const char* name : {"plain.jpg", "garbage.jpg", "missing.jpg"}) {
        VornalixExif e;
        std::memset(&e, 0x5A, sizeof e);
        EXPECT_FALSE(vornalix::metadata::read_exif(dir.file(name), e)) << name;
        EXPECT_EQ(e.make[0], '\0');
        EXPECT_EQ(e.iso, 0);
        EXPECT_TRUE(std::isnan(e.gps_latitude));
    }
}

TEST(ExifApi, FallsBackToDecoderShotData) {
    vornalix::testing::TempDir dir;
    fixtures::write_bytes(dir.file("plain.jpg"), fixtures::plain_jpeg());
    auto ctx = make_context();
    ctx->source_path = dir.file("plain.jpg");
    auto& d = ctx->decoder;
    std::memset(d.make, 'K', sizeof d.make);  // no terminator: at most 63 characters are taken
    d.iso_speed = 99.9f;
    d.shutter = 0.5f;
    d.flip = 6;
    VornalixExif e;
    ASSERT_EQ(vornalix_get_exif(ctx.get(), &e), 0);
    EXPECT_EQ(std::string(e.make), std::string(63, 'K'));
    EXPECT_EQ(e.iso, 99);
    EXPECT_EQ(e.exposure_time, 0.5f);
    EXPECT_EQ(e.orientation, 6);

    // An ISO beyond the int range is clamped, not converted out of range.
    d.iso_speed = 1e12f;
    ASSERT_EQ(vornalix_get_exif(ctx.get(), &e), 0);
    EXPECT_EQ(e.iso, INT_MAX);
    d.iso_speed = std::nanf("");
    ASSERT_EQ(vornalix_get_exif(ctx.get(), &e), 0);
    EXPECT_EQ(e.iso, 0);
}
