#include "hash/phash.h"
#include "support/crafted_files.h"
#include "support/dng_writer.h"
#include "support/temp_dir.h"
#include "vornalix.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

using vornalix::perceptual_hash;
using vornalix::testing::TempDir;

namespace {

int hamming(unsigned long long a, unsigned long long b) { return __builtin_popcountll(a ^ b); }

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

struct Hashed {
    int code = 1;
    unsigned long long hash = 0xDEADBEEFull;  // must be overwritten
    explicit Hashed(const std::string& path) { code = vornalix_phash(path.c_str(), &hash); }
};

}  // namespace

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
        const int rank = ranks[i - 1];
        spectrum.at<float>(i / 8, i % 8) = 3.0f * static_cast<float>(rank - 31);
        if (rank > 31) expected |= 1ull << (63 - i);
    }
    cv::Mat pixels, grey;
    cv::idct(spectrum, pixels);
    pixels.convertTo(grey, CV_8U);
    ASSERT_TRUE(cv::checkRange(pixels, true, nullptr, 0.0, 255.0));  // no pixel clipped
    EXPECT_EQ(perceptual_hash(grey), expected);
}

TEST(PerceptualHashFile, SamePictureAsJpegHashesCloseAndRawFilesHashTheirPreview) {
    TempDir dir;
    ASSERT_TRUE(cv::imwrite(dir.file("a.png"), scene(1)));
    ASSERT_TRUE(cv::imwrite(dir.file("a.JPG"), scene(1), {cv::IMWRITE_JPEG_QUALITY, 80}));
    ASSERT_TRUE(cv::imwrite(dir.file("b.png"), scene(2)));
    const Hashed png(dir.file("a.png")), jpeg(dir.file("a.JPG")), other(dir.file("b.png")), raw(VORNALIX_TEST_CR2);
    for (const Hashed* h : {&png, &jpeg, &other, &raw}) ASSERT_EQ(h->code, 0);
    EXPECT_NE(raw.hash, 0u);  // a RAW file hashes its embedded preview
    EXPECT_LE(hamming(png.hash, jpeg.hash), 4);
    EXPECT_GE(hamming(png.hash, other.hash), 12);
}

// Black hashes to 0; a flat grey, and a one-row ramp that a reduction to 256
// pixels would round away, set the top (mean) bit.
TEST(PerceptualHashFile, UniformAndThinImages) {
    TempDir dir;
    cv::Mat row(1, 600, CV_8UC3);
    for (int x = 0; x < 600; ++x) row.at<cv::Vec3b>(0, x) = cv::Vec3b::all(static_cast<uchar>(x * 255 / 599));
    ASSERT_TRUE(cv::imwrite(dir.file("black.png"), cv::Mat(30, 40, CV_8UC3, cv::Scalar::all(0))));
    ASSERT_TRUE(cv::imwrite(dir.file("grey.bmp"), cv::Mat(30, 40, CV_8UC3, cv::Scalar::all(77))));
    ASSERT_TRUE(cv::imwrite(dir.file("thin.png"), row));
    const Hashed black(dir.file("black.png")), grey(dir.file("grey.bmp")), thin(dir.file("thin.png"));
    for (const Hashed* h : {&black, &grey, &thin}) EXPECT_EQ(h->code, 0);
    EXPECT_EQ(black.hash, 0u);
    EXPECT_TRUE(grey.hash >> 63);
    EXPECT_TRUE(thin.hash >> 63);
}

TEST(PerceptualHashFile, FailuresLeaveTheHashZero) {
    TempDir dir;
    const std::string dng = dir.file("plain.dng");
    ASSERT_TRUE(vornalix::testing::write_bayer_dng(dng, vornalix::testing::make_test_scene(64, 48)));
    // A float map named .png and a run-length BMP claiming 210 megapixels
    // would both be decoded by OpenCV; neither reaches it.
    const std::string pfm = dir.file("float.png"), bomb = dir.file("bomb.bmp");
    ASSERT_TRUE(vornalix::testing::write_pfm(pfm));
    ASSERT_TRUE(vornalix::testing::write_rle_bmp(bomb, 15000, 14000));
    for (const std::string& path : {dng, pfm, bomb, dir.file("missing.tif")}) {
        const Hashed failed(path);
        if (path == dng)
            EXPECT_TRUE(failed.code == -2 || failed.code == -3) << failed.code;  // no preview in the file
        else
            EXPECT_EQ(failed.code, -1) << path;
        EXPECT_EQ(failed.hash, 0u);
    }

    unsigned long long untouched = 42;
    EXPECT_EQ(vornalix_phash(nullptr, &untouched), -1);
    EXPECT_EQ(untouched, 42u);
}
