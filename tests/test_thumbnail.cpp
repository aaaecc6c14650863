#include "image/thumbnail.h"
#include "support/crafted_files.h"
#include "support/dng_writer.h"
#include "support/temp_dir.h"
#include "vornalix.h"

#include <gtest/gtest.h>
#include <libraw/libraw.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

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

cv::Mat gradient_bgr(int width, int height) {
    cv::Mat corners(2, 2, CV_8UC3);
    corners.at<cv::Vec3b>(0, 0) = {0, 0, 128};
    corners.at<cv::Vec3b>(0, 1) = {255, 0, 128};
    corners.at<cv::Vec3b>(1, 0) = {0, 255, 128};
    corners.at<cv::Vec3b>(1, 1) = {255, 255, 128};
    cv::Mat image;
    cv::resize(corners, image, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
    return image;
}

}  // namespace

TEST(Thumbnail, StandardImagesAreBoundedTo160Pixels) {
    TempDir dir;
    const std::string big = dir.file("big.JPG"), small = dir.file("small.png"), thin = dir.file("thin.png");
    ASSERT_TRUE(cv::imwrite(big, gradient_bgr(4000, 3000)));
    ASSERT_TRUE(cv::imwrite(small, gradient_bgr(120, 80)));
    ASSERT_TRUE(cv::imwrite(thin, gradient_bgr(1000, 2)));

    Thumb from_big(big);
    ASSERT_EQ(from_big.code, 0);
    ASSERT_GT(from_big.size, 2u);
    EXPECT_EQ(from_big.data[0], 0xFF);
    EXPECT_EQ(from_big.data[1], 0xD8);
    EXPECT_EQ(from_big.decoded_size(), cv::Size(160, 120));

    Thumb from_small(small);
    ASSERT_EQ(from_small.code, 0);
    EXPECT_EQ(from_small.decoded_size(), cv::Size(120, 80));

    // 2 rows x 0.16 rounds to none: the row is kept.
    Thumb from_thin(thin);
    ASSERT_EQ(from_thin.code, 0);
    EXPECT_EQ(from_thin.decoded_size(), cv::Size(160, 1));
}

// LibRaw hands the camera's JPEG over with an EXIF segment of the shot
// inserted after the start marker; the rest is the embedded stream untouched.
TEST(Thumbnail, RawFileGivesTheCamerasJpegByteForByte) {
    std::vector<unsigned char> embedded, handed_over;
    {
        auto raw = std::make_unique<LibRaw>(0);
        ASSERT_EQ(raw->open_file(VORNALIX_TEST_CR2), LIBRAW_SUCCESS);
        ASSERT_EQ(raw->unpack_thumb(), LIBRAW_SUCCESS);
        const libraw_thumbnail_t& t = raw->imgdata.thumbnail;
        ASSERT_EQ(t.tformat, LIBRAW_THUMBNAIL_JPEG);
        embedded.assign(t.thumb, t.thumb + t.tlength);
        int code = 0;
        libraw_processed_image_t* image = raw->dcraw_make_mem_thumb(&code);
        ASSERT_NE(image, nullptr);
        handed_over.assign(image->data, image->data + image->data_size);
        LibRaw::dcraw_clear_mem(image);
    }
    Thumb thumb(VORNALIX_TEST_CR2);
    ASSERT_EQ(thumb.code, 0);
    const std::vector<unsigned char> bytes = thumb.bytes();
    EXPECT_EQ(bytes, handed_over);
    ASSERT_GT(bytes.size(), embedded.size());
    EXPECT_TRUE(std::equal(embedded.begin() + 2, embedded.end(), bytes.end() - (embedded.size() - 2)));
    EXPECT_GT(thumb.decoded_size().width, 160);  // at its own size, not reduced
}

TEST(Thumbnail, FailuresLeaveNothingBehind) {
    TempDir dir;
    const std::string dng = dir.file("plain.dng");
    ASSERT_TRUE(vornalix::testing::write_bayer_dng(dng, vornalix::testing::make_test_scene(64, 48)));
    Thumb no_thumb(dng);
    EXPECT_TRUE(no_thumb.code == -2 || no_thumb.code == -3) << no_thumb.code;
    EXPECT_EQ(no_thumb.data, nullptr);
    EXPECT_EQ(no_thumb.size, 0u);

    for (const std::string& path : {dir.file("missing.png"), dir.file("missing.cr2")}) {
        Thumb missing(path);
        EXPECT_EQ(missing.code, -1) << path;
        EXPECT_EQ(missing.data, nullptr);
        EXPECT_EQ(missing.size, 0u);
    }

    unsigned char* data = nullptr;
    unsigned int size = 0;
    EXPECT_EQ(vornalix_extract_thumbnail(nullptr, &data, &size), -1);
    EXPECT_EQ(vornalix_extract_thumbnail(dng.c_str(), nullptr, &size), -1);
    EXPECT_EQ(vornalix_extract_thumbnail(dng.c_str(), &data, nullptr), -1);
    vornalix_free_thumb(nullptr);
}

// OpenCV would decode both files (the run-length BMP into a 630 MB frame);
// the library hands it neither.
TEST(Thumbnail, RefusesForeignFormatsAndHugeHeaders) {
    TempDir dir;
    const std::string pfm = dir.file("float.png"), bomb = dir.file("bomb.bmp");
    ASSERT_TRUE(vornalix::testing::write_pfm(pfm));
    ASSERT_FALSE(cv::imread(pfm, cv::IMREAD_COLOR).empty());
    ASSERT_TRUE(vornalix::testing::write_rle_bmp(bomb, 15000, 14000));

    for (const std::string& path : {pfm, bomb}) {
        Thumb thumb(path);
        EXPECT_EQ(thumb.code, -1) << path;
        EXPECT_EQ(thumb.data, nullptr);
    }
    // The same small run-length BMP is read as usual.
    const std::string small = dir.file("small.bmp");
    ASSERT_TRUE(vornalix::testing::write_rle_bmp(small, 300, 200));
    Thumb ok(small);
    ASSERT_EQ(ok.code, 0);
    EXPECT_EQ(ok.decoded_size(), cv::Size(160, 107));
}

// A bitmap thumbnail whose data is shorter than its declared frame (one
// sample per pixel under a 3-colour type) is refused, not read past its end;
// the image LibRaw made for it is released (the leak check sees it).
TEST(Thumbnail, BitmapIsCheckedBeforeItIsRead) {
    auto raw = std::make_unique<LibRaw>(0);
    libraw_thumbnail_t& t = raw->imgdata.thumbnail;
    const auto forge = [&](int width, int height, unsigned length) {
        free(t.thumb);
        t.thumb = static_cast<char*>(std::malloc(length));
        std::memset(t.thumb, 100, length);
        t.tlength = length;
        t.twidth = static_cast<ushort>(width);
        t.theight = static_cast<ushort>(height);
        t.tformat = LIBRAW_THUMBNAIL_BITMAP;
    };
    vornalix::RawThumbnail thumb;
    forge(40, 30, 40 * 30);
    EXPECT_EQ(vornalix::take_raw_thumbnail(*raw, thumb), -3);
    EXPECT_TRUE(thumb.rgb.empty());

    forge(40, 30, 40 * 30 * 3);
    ASSERT_EQ(vornalix::take_raw_thumbnail(*raw, thumb), 0);
    EXPECT_EQ(thumb.rgb.size(), cv::Size(40, 30));
    EXPECT_EQ(thumb.rgb.at<cv::Vec3b>(29, 39), cv::Vec3b(100, 100, 100));
}
