// The file utilities that need no context: thumbnails and perceptual hashes.

#include "api/boundary.h"
#include "hash/phash.h"
#include "image/thumbnail.h"
#include "support/crafted_files.h"
#include "support/dng_writer.h"
#include "support/exif_fixtures.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>

using vornalix::testing::TempDir;

namespace {

// The extraction result, released through the library's own function.
struct Thumb {
    int code = 1;
    unsigned char* data = reinterpret_cast<unsigned char*>(1);  // must be cleared
    unsigned int size = 1;

    explicit Thumb(const std::string& path) { code = vornalix_extract_thumbnail(path.c_str(), &data, &size); }
    ~Thumb() { vornalix_free_thumb(data); }
    std::vector<unsigned char> bytes() const { return {data, data + size}; }
    cv::Size decoded_size() const { return cv::imdecode(bytes(), cv::IMREAD_COLOR).size(); }
};

struct Hashed {
    int code = 1;
    unsigned long long hash = 0xDEADBEEFull;  // must be overwritten
    explicit Hashed(const std::string& path) { code = vornalix_phash(path.c_str(), &hash); }
};

// A picture with a few large shapes, softened like a photograph.
cv::Mat scene(int seed) {
    cv::RNG rng(seed);
    cv::Mat image(480, 640, CV_8UC3, cv::Scalar(90, 110, 130));
    for (int i = 0; i < 6; ++i)
        cv::circle(image, {rng.uniform(0, 640), rng.uniform(0, 480)}, rng.uniform(40, 160),
                   cv::Scalar(rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256)), cv::FILLED);
    cv::GaussianBlur(image, image, cv::Size(), 4.0);
    return image;
}

}  // namespace

// Standard images are reduced to 160 pixels on the long side, never enlarged,
// never to zero rows; a RAW file gives the camera's own JPEG at its size, with
// an EXIF segment of the shot inserted after the start marker.
TEST(Thumbnail, StandardImagesAreBoundedAndRawFilesGiveTheCamerasJpeg) {
    TempDir dir;
    const std::pair<cv::Size, cv::Size> cases[] = {
        {{4000, 3000}, {160, 120}}, {{120, 80}, {120, 80}}, {{1000, 2}, {160, 1}}};
    for (const auto& [size, expected] : cases) {
        const std::string path = dir.file("in" + std::to_string(size.width) + ".png");
        ASSERT_TRUE(cv::imwrite(path, cv::Mat(size, CV_8UC3, cv::Scalar(20, 90, 200))));
        EXPECT_EQ(Thumb(path).decoded_size(), expected);
    }

    LibRaw raw(0);
    ASSERT_EQ(raw.open_file(VORNALIX_TEST_CR2), LIBRAW_SUCCESS);
    ASSERT_EQ(raw.unpack_thumb(), LIBRAW_SUCCESS);
    const libraw_thumbnail_t& t = raw.imgdata.thumbnail;
    const std::vector<unsigned char> embedded(t.thumb, t.thumb + t.tlength);
    Thumb thumb(VORNALIX_TEST_CR2);
    ASSERT_EQ(thumb.code, 0);
    const std::vector<unsigned char> bytes = thumb.bytes();
    ASSERT_GT(bytes.size(), embedded.size());
    EXPECT_TRUE(std::equal(embedded.begin() + 2, embedded.end(), bytes.end() - (embedded.size() - 2)));
}

// OpenCV would decode the float map; neither utility hands it (the bounds on
// what is read are the loader's). Every failure leaves no buffer and a zero hash behind.
TEST(FileUtilities, RefuseForeignFormatsAndRawFilesWithoutPreview) {
    TempDir dir;
    const std::string pfm = dir.file("float.png"), dng = dir.file("plain.dng");
    ASSERT_TRUE(vornalix::testing::write_pfm(pfm));
    ASSERT_TRUE(vornalix::testing::write_bayer_dng(dng, vornalix::testing::make_test_scene(64, 48)));
    for (const std::string& path : {pfm, dng, dir.file("missing.cr2")}) {
        SCOPED_TRACE(path);
        const Thumb thumb(path);
        const Hashed hashed(path);
        for (int code : {thumb.code, hashed.code}) {
            if (path == dng)
                EXPECT_TRUE(code == -2 || code == -3) << code;  // no preview in the file
            else
                EXPECT_EQ(code, -1);
        }
        EXPECT_EQ(std::tuple(thumb.data, thumb.size, hashed.hash), std::tuple(nullptr, 0u, 0u));
    }
    unsigned int size = 0;
    EXPECT_EQ(vornalix_extract_thumbnail(dng.c_str(), nullptr, &size), -1);
    vornalix_free_thumb(nullptr);
    unsigned long long untouched = 42;
    EXPECT_EQ(vornalix_phash(nullptr, &untouched), -1);
    EXPECT_EQ(untouched, 42u);
}

// A bitmap thumbnail whose data is shorter than its declared frame (one
// sample per pixel under a 3-colour type) is refused, not read past its end;
// the image LibRaw made for it is released (the leak check sees it).
TEST(Thumbnail, BitmapIsCheckedBeforeItIsRead) {
    LibRaw raw(0);
    libraw_thumbnail_t& t = raw.imgdata.thumbnail;
    vornalix::RawThumbnail thumb;
    for (unsigned length : {40u * 30u, 40u * 30u * 3u}) {
        free(t.thumb);
        t.thumb = static_cast<char*>(std::malloc(length));
        std::memset(t.thumb, 100, length);
        t.tlength = length, t.twidth = 40, t.theight = 30, t.tformat = LIBRAW_THUMBNAIL_BITMAP;
        const bool whole = length == 40u * 30u * 3u;
        const auto take = [&] { vornalix::take_raw_thumbnail(raw, thumb); return 0; };
        ASSERT_EQ(vornalix::api::guarded(nullptr, take), whole ? 0 : -3);
        EXPECT_EQ(thumb.rgb.empty(), !whole);
    }
    EXPECT_EQ(thumb.rgb.at<cv::Vec3b>(29, 39), cv::Vec3b(100, 100, 100));
}

// A 32 x 32 picture built from chosen low-frequency coefficients: the bit of
// row r, column c must be 63 - (8 r + c), set exactly for the coefficients
// above the median of the 63 non-DC ones.
TEST(PerceptualHash, BitLayoutFollowsTheCoefficients) {
    std::vector<int> ranks(63);
    std::iota(ranks.begin(), ranks.end(), 0);
    std::shuffle(ranks.begin(), ranks.end(), std::mt19937(7));
    cv::Mat spectrum(32, 32, CV_32F, cv::Scalar(0));
    spectrum.at<float>(0, 0) = 128.0f * 32;  // mean grey 128
    uint64_t expected = 1ull << 63;
    for (int i = 1; i < 64; ++i) {
        spectrum.at<float>(i / 8, i % 8) = 3.0f * static_cast<float>(ranks[i - 1] - 31);
        if (ranks[i - 1] > 31) expected |= 1ull << (63 - i);
    }
    cv::Mat pixels, grey;
    cv::idct(spectrum, pixels);
    pixels.convertTo(grey, CV_8U);
    ASSERT_TRUE(cv::checkRange(pixels, true, nullptr, 0.0, 255.0));  // no pixel clipped
    EXPECT_EQ(vornalix::perceptual_hash(grey), expected);
}

// The same picture as a JPEG hashes close, another far; a RAW file hashes its
// embedded preview. Black hashes to 0; a one-row ramp that a reduction to 256
// pixels would round away sets the top (mean) bit.
TEST(PerceptualHash, FilesOfAllKinds) {
    TempDir dir;
    cv::Mat row(1, 600, CV_8UC3);
    for (int x = 0; x < 600; ++x) row.at<cv::Vec3b>(0, x) = cv::Vec3b::all(static_cast<uchar>(x * 255 / 599));
    for (const auto& [name, picture] : {std::pair{"a.png", scene(1)}, {"a.JPG", scene(1)}, {"b.png", scene(2)},
                                        {"black.bmp", cv::Mat(30, 40, CV_8UC3, cv::Scalar::all(0))}, {"thin.png", row}})
        ASSERT_TRUE(cv::imwrite(dir.file(name), picture, {cv::IMWRITE_JPEG_QUALITY, 80}));
    const Hashed png(dir.file("a.png")), jpeg(dir.file("a.JPG")), other(dir.file("b.png")), raw(VORNALIX_TEST_CR2),
        black(dir.file("black.bmp")), thin(dir.file("thin.png"));
    for (const Hashed* h : {&png, &jpeg, &other, &raw, &black, &thin}) ASSERT_EQ(h->code, 0);
    EXPECT_NE(raw.hash, 0u);
    EXPECT_LE(__builtin_popcountll(png.hash ^ jpeg.hash), 4);
    EXPECT_GE(__builtin_popcountll(png.hash ^ other.hash), 12);
    EXPECT_EQ(black.hash, 0u);
    EXPECT_TRUE(thin.hash >> 63);
}
