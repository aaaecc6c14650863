#include "image/thumbnail.h"
#include "api/boundary.h"
#include "support/crafted_files.h"
#include "support/dng_writer.h"
#include "support/temp_dir.h"
#include "vornalix.h"

#include <gtest/gtest.h>
#include <libraw/libraw.h>
#include <opencv2/imgcodecs.hpp>

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
        Thumb thumb(path);
        ASSERT_EQ(thumb.code, 0);
        EXPECT_EQ(thumb.decoded_size(), expected);
    }

    std::vector<unsigned char> embedded;
    {
        auto raw = std::make_unique<LibRaw>(0);
        ASSERT_EQ(raw->open_file(VORNALIX_TEST_CR2), LIBRAW_SUCCESS);
        ASSERT_EQ(raw->unpack_thumb(), LIBRAW_SUCCESS);
        const libraw_thumbnail_t& t = raw->imgdata.thumbnail;
        embedded.assign(t.thumb, t.thumb + t.tlength);
    }
    Thumb thumb(VORNALIX_TEST_CR2);
    ASSERT_EQ(thumb.code, 0);
    const std::vector<unsigned char> bytes = thumb.bytes();
    ASSERT_GT(bytes.size(), embedded.size());
    EXPECT_TRUE(std::equal(embedded.begin() + 2, embedded.end(), bytes.end() - (embedded.size() - 2)));
}

// OpenCV would decode the float map and the run-length BMP (into a 630 MB
// frame); the library hands it neither, while a small run-length BMP is read
// as usual. Every failure leaves no buffer behind.
TEST(Thumbnail, RefusesForeignFormatsAndHugeHeaders) {
    TempDir dir;
    const std::string pfm = dir.file("float.png"), bomb = dir.file("bomb.bmp"), small = dir.file("small.bmp"),
                      dng = dir.file("plain.dng");
    ASSERT_TRUE(vornalix::testing::write_pfm(pfm));
    ASSERT_TRUE(vornalix::testing::write_rle_bmp(bomb, 15000, 14000));
    ASSERT_TRUE(vornalix::testing::write_rle_bmp(small, 300, 200));
    ASSERT_TRUE(vornalix::testing::write_bayer_dng(dng, vornalix::testing::make_test_scene(64, 48)));
    for (const std::string& path : {pfm, bomb, dng, dir.file("missing.cr2")}) {
        Thumb thumb(path);
        if (path == dng)
            EXPECT_TRUE(thumb.code == -2 || thumb.code == -3) << thumb.code;  // no thumbnail in the file
        else
            EXPECT_EQ(thumb.code, -1) << path;
        EXPECT_EQ(thumb.data, nullptr);
        EXPECT_EQ(thumb.size, 0u);
    }
    EXPECT_EQ(Thumb(small).decoded_size(), cv::Size(160, 107));
    unsigned int size = 0;
    EXPECT_EQ(vornalix_extract_thumbnail(dng.c_str(), nullptr, &size), -1);
    vornalix_free_thumb(nullptr);
}

// A bitmap thumbnail whose data is shorter than its declared frame (one
// sample per pixel under a 3-colour type) is refused, not read past its end;
// the image LibRaw made for it is released (the leak check sees it).
TEST(Thumbnail, BitmapIsCheckedBeforeItIsRead) {
    auto raw = std::make_unique<LibRaw>(0);
    libraw_thumbnail_t& t = raw->imgdata.thumbnail;
    vornalix::RawThumbnail thumb;
    for (unsigned length : {40u * 30u, 40u * 30u * 3u}) {
        free(t.thumb);
        t.thumb = static_cast<char*>(std::malloc(length));
        std::memset(t.thumb, 100, length);
        t.tlength = length;
        t.twidth = 40;
        t.theight = 30;
        t.tformat = LIBRAW_THUMBNAIL_BITMAP;
        const bool whole = length == 40u * 30u * 3u;
        const auto take = [&] { vornalix::take_raw_thumbnail(*raw, thumb); return 0; };
        ASSERT_EQ(vornalix::api::guarded(nullptr, take), whole ? 0 : -3);
        EXPECT_EQ(thumb.rgb.empty(), !whole);
    }
    EXPECT_EQ(thumb.rgb.at<cv::Vec3b>(29, 39), cv::Vec3b(100, 100, 100));
}
