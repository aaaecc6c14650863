// The APP1 segment of JPEG files: copy, strip and write, at the byte level,
// on well-formed, truncated and foreign files, through the atomic writer.

#include "metadata/exif.h"
#include "output/file_io.h"
#include "support/exif_fixtures.h"
#include "support/sample_cr2.h"
#include "support/temp_dir.h"

#include <libexif/exif-utils.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <stdexcept>

using fixtures::Bytes;
using fixtures::ExifBuilder;
namespace md = vornalix::metadata;

namespace {

Bytes camera_block() {
    ExifBuilder b;
    b.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Maker").ascii(EXIF_IFD_0, EXIF_TAG_MODEL, "Model X")
        .rational(EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_TIME, 1, 250);
    return b.block();
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes after_soi_and_first_segment(const Bytes& jpeg) {
    const size_t len = (size_t(jpeg[4]) << 8) | jpeg[5];
    return Bytes(jpeg.begin() + 4 + len, jpeg.end());
}

}  // namespace

TEST(ExifCopy, ReplacesLeadingAppSegmentsAndKeepsThePicture) {
    vornalix::testing::TempDir dir;
    const std::string src = dir.file("src.jpg"), dst = dir.file("dst.jpg");
    fixtures::write_bytes(src, fixtures::jpeg_with_exif(camera_block()));
    const Bytes plain = fixtures::plain_jpeg();  // begins with a JFIF APP0
    fixtures::write_bytes(dst, plain);

    ASSERT_TRUE(md::copy_exif(src, dst));
    const Bytes out = fixtures::read_bytes(dst);
    ASSERT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{0xFF, 0xD8, 0xFF, 0xE1}));
    const auto app1 = fixtures::segments_with_marker(out, 0xE1);
    ASSERT_EQ(app1.size(), 1u);
    EXPECT_EQ((size_t(out[4]) << 8 | out[5]), app1[0].size() + 2);
    // Everything behind the replaced APP0 is the written picture, byte for byte.
    const Bytes rest = after_soi_and_first_segment(plain);
    EXPECT_EQ(Bytes(out.begin() + 4 + app1[0].size() + 2, out.end()), rest);
    // What the block says once copied (upright orientation) is the export tests' concern.

    // An existing APP1 is replaced too, but one behind an APP2 (XMP, say) is kept.
    ExifBuilder old;
    old.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Old");
    fixtures::write_bytes(dst, fixtures::jpeg_with_exif(old.block()));
    ASSERT_TRUE(md::copy_exif(src, dst));
    EXPECT_EQ(fixtures::segments_with_marker(fixtures::read_bytes(dst), 0xE1).size(), 1u);
    const Bytes xmp(40, 'x');
    fixtures::write_bytes(dst, concat({{0xFF, 0xD8}, fixtures::segment(0xE2, Bytes(10, 'i')),
                                       fixtures::segment(0xE1, xmp), rest}));
    ASSERT_TRUE(md::copy_exif(src, dst));
    const auto both = fixtures::segments_with_marker(fixtures::read_bytes(dst), 0xE1);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[1], xmp);
    EXPECT_EQ(fixtures::file_names(dir), (std::vector<std::string>{"dst.jpg", "src.jpg"}));  // no temporaries left
}

TEST(ExifCopy, OrientationOnlyChangedWhenPresent) {
    vornalix::testing::TempDir dir;
    fixtures::write_bytes(dir.file("none.jpg"), fixtures::jpeg_with_exif(camera_block()));
    const fixtures::ParsedBlock block(md::exif_block_for_copy(dir.file("none.jpg")));
    ASSERT_TRUE(block.data);
    EXPECT_EQ(block.entry(EXIF_IFD_0, EXIF_TAG_ORIENTATION), nullptr);
    EXPECT_TRUE(block.entry(EXIF_IFD_0, EXIF_TAG_MODEL));
}

TEST(ExifCopy, RefusesWithoutTouchingTheTarget) {
    vornalix::testing::TempDir dir;
    const std::string exif_src = dir.file("exif.jpg");
    fixtures::write_bytes(exif_src, fixtures::jpeg_with_exif(camera_block()));
    struct Case { std::string source, target; Bytes bytes; };
    for (const Case& c : {Case{dir.file("plain.jpg"), dir.file("plain.jpg"), fixtures::plain_jpeg()},  // no EXIF
                          Case{exif_src, dir.file("a.png"), {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0}}}) {
        fixtures::write_bytes(c.target, c.bytes);
        EXPECT_FALSE(md::copy_exif(c.source, c.target)) << c.target;
        EXPECT_EQ(fixtures::read_bytes(c.target), c.bytes) << c.target;
    }
    EXPECT_FALSE(md::copy_exif(exif_src, dir.file("missing.jpg")));
    EXPECT_EQ(fixtures::file_names(dir), (std::vector<std::string>{"a.png", "exif.jpg", "plain.jpg"}));
}

TEST(ExifStrip, DropsEveryApp1BeforeTheScanAndStopsThere) {
    vornalix::testing::TempDir dir;
    const Bytes app0 = fixtures::segment(0xE0, {'J', 'F', 'I', 'F', 0});
    const Bytes dqt = fixtures::segment(0xDB, Bytes(65, 3));
    const Bytes sos = fixtures::segment(0xDA, Bytes(10, 6));
    // Entropy-coded data that happens to begin like an APP1 segment.
    const Bytes scan{0xFF, 0xE1, 0x00, 0x04, 0x11, 0x22, 0x33, 0xFF, 0x00, 0x44, 0xFF, 0xD9};
    const Bytes kept = concat({{0xFF, 0xD8}, app0, dqt, sos, scan});
    const Bytes file = concat({{0xFF, 0xD8}, app0, fixtures::segment(0xE1, camera_block()),
                               fixtures::segment(0xE1, Bytes(20, 'x')), dqt, sos, scan});
    const std::string path = dir.file("s.jpg");
    fixtures::write_bytes(path, file);
    ASSERT_TRUE(md::strip_exif(path));
    EXPECT_EQ(fixtures::read_bytes(path), kept);
    Bytes bare{0xFF, 0xD8, 0xFF, 0xD9};
    ASSERT_TRUE(md::strip_app1(bare));
    EXPECT_EQ(bare, (Bytes{0xFF, 0xD8, 0xFF, 0xD9}));
}

// Every prefix of a real file, and random bytes behind a JPEG signature:
// no walk reads past the end, and a refused rewrite leaves the file as it was.
TEST(ExifSegments, TruncatedGarbageAndOversizedAreNeverDamaged) {
    const Bytes full = fixtures::jpeg_with_exif(camera_block());
    const Bytes block = camera_block();
    for (size_t n = 0; n <= full.size(); ++n) {
        const Bytes prefix(full.begin(), full.begin() + n);
        Bytes a = prefix, b = prefix;
        if (!md::insert_app1(a, block)) EXPECT_EQ(a, prefix);
        if (!md::strip_app1(b)) EXPECT_EQ(b, prefix);
    }
    // Blocks the length field cannot carry (it would wrap to 0) or empty ones.
    Bytes jpeg = fixtures::plain_jpeg();
    const Bytes original = jpeg;
    EXPECT_FALSE(md::insert_app1(jpeg, Bytes(65534, 1)));
    EXPECT_FALSE(md::insert_app1(jpeg, Bytes()));
    EXPECT_EQ(jpeg, original);
    ASSERT_TRUE(md::insert_app1(jpeg, Bytes(65533, 1)));
    EXPECT_EQ(jpeg[4] << 8 | jpeg[5], 0xFFFF);
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        Bytes garbage{0xFF, 0xD8};
        const int len = 2 + static_cast<int>(rng() % 64);
        for (int k = 0; k < len; ++k) garbage.push_back(k % 3 == 0 ? 0xFF : static_cast<unsigned char>(rng()));
        Bytes a = garbage, b = garbage;
        if (!md::insert_app1(a, block)) EXPECT_EQ(a, garbage);
        if (!md::strip_app1(b)) EXPECT_EQ(b, garbage);
    }

    // Through the files: an APP1 whose length runs past the end is refused by
    // both walks, and as a source it gives nothing rather than a damaged target.
    vornalix::testing::TempDir dir;
    const std::string src = dir.file("src.jpg"), path = dir.file("t.jpg"), other = dir.file("other.jpg");
    fixtures::write_bytes(src, full);
    fixtures::write_bytes(other, fixtures::plain_jpeg());
    const Bytes cut = concat({{0xFF, 0xD8}, {0xFF, 0xE1, 0x40, 0x00}, Bytes(20, 0)});
    fixtures::write_bytes(path, cut);
    EXPECT_FALSE(md::strip_exif(path));
    EXPECT_FALSE(md::copy_exif(src, path));
    EXPECT_EQ(fixtures::read_bytes(path), cut);
    EXPECT_FALSE(md::copy_exif(path, other));
    EXPECT_EQ(fixtures::read_bytes(other), fixtures::plain_jpeg());
}

TEST(ExifWrite, MakeAndIsoOnly) {
    vornalix::testing::TempDir dir;
    const std::string path = dir.file("w.jpg");
    fixtures::write_bytes(path, fixtures::plain_jpeg());
    VornalixExif e{};
    std::strcpy(e.make, "Vornalix");
    std::strcpy(e.model, "not written");
    e.iso = 70000;  // beyond SHORT: recorded as the largest value, not wrapped
    ASSERT_TRUE(md::write_exif(path, e));
    VornalixExif back;
    ASSERT_TRUE(md::read_exif(path, back));
    EXPECT_STREQ(back.make, "Vornalix");
    EXPECT_EQ(back.iso, 65535);
    EXPECT_STREQ(back.model, "");
    const Bytes png{0x89, 'P', 'N', 'G'};
    fixtures::write_bytes(path, png);
    EXPECT_FALSE(md::write_exif(path, e));
    EXPECT_EQ(fixtures::read_bytes(path), png);
}

// The RAW file's TIFF structure becomes a block a JPEG can carry: camera
// metadata kept, the RAW's image-structure tags gone.
TEST(ExifCopy, CanonRawBlockForADevelopedJpeg) {
    vornalix::testing::TempDir dir;
    const std::string dst = dir.file("developed.jpg");
    fixtures::write_bytes(dst, fixtures::plain_jpeg());
    ASSERT_TRUE(md::copy_exif(VORNALIX_TEST_CR2, dst));
    const fixtures::ParsedBlock block(fixtures::segments_with_marker(fixtures::read_bytes(dst), 0xE1).at(0));
    EXPECT_FALSE(block.entry(EXIF_IFD_0, EXIF_TAG_STRIP_OFFSETS));
    EXPECT_FALSE(block.entry(EXIF_IFD_0, EXIF_TAG_IMAGE_WIDTH));
    VornalixExif e;
    ASSERT_TRUE(md::read_exif(dst, e));
    fixtures::expect_sample_cr2_metadata(e);
    EXPECT_EQ(e.orientation, 1);
}

TEST(AtomicWrite, FailuresLeaveTargetAndFolderAsTheyWere) {
    vornalix::testing::TempDir dir;
    const std::string target = dir.file("photo.JPG");
    const Bytes original{1, 2, 3};
    fixtures::write_bytes(target, original);
    std::string seen;
    EXPECT_FALSE(vornalix::output::write_atomically(target, [&](const std::string& temp) {
        seen = temp;
        vornalix::output::overwrite_file(temp, Bytes(100, 9));
        return false;  // a writer that fails part-way
    }));
    EXPECT_EQ(seen.substr(0, dir.file("").size()), dir.file(""));  // same folder
    EXPECT_EQ(seen.substr(seen.size() - 4), ".JPG");                // same extension
    EXPECT_THROW(vornalix::output::write_atomically(target, [](const std::string&) -> bool {
                     throw std::runtime_error("writer failed");
                 }),
                 std::runtime_error);
    EXPECT_EQ(fixtures::read_bytes(target), original);
    EXPECT_EQ(fixtures::file_names(dir), std::vector<std::string>{"photo.JPG"});

    EXPECT_FALSE(vornalix::output::write_file_atomically(dir.file("no/such/folder.jpg"), {1}));
    EXPECT_FALSE(vornalix::output::write_file_atomically(dir.file(""), {1}));  // a folder is not replaced
    EXPECT_EQ(fixtures::file_names(dir), std::vector<std::string>{"photo.JPG"});
}
