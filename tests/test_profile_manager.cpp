#include "color/profile_manager.h"
#include "support/exif_fixtures.h"

#include <gtest/gtest.h>

using vornalix::color_mgmt::ColorSpace;
using vornalix::color_mgmt::ProfileManager;

namespace {

double max_difference(const cv::Mat& a, const cv::Mat& b) { return cv::norm(a, b, cv::NORM_INF); }

// A colourful 16-bit RGB patch well inside the sRGB gamut.
cv::Mat colour_patch16() {
    cv::Mat patch(4, 5, CV_16UC3);
    cv::RNG(20261207).fill(patch, cv::RNG::UNIFORM, cv::Scalar::all(3000), cv::Scalar::all(62000));
    return patch;
}

}  // namespace

// Signed depths and one or two channels (an RGB row format would run past the row).
TEST(ProfileManager, RefusesDepthsAndChannelCountsItCannotDescribe) {
    ProfileManager pm;
    for (int type : {CV_16SC3, CV_8UC1, CV_16UC2}) {
        cv::Mat image(2, 3, type, cv::Scalar::all(9));
        EXPECT_FALSE(pm.convert(image, ColorSpace::AdobeRGB, ColorSpace::sRGB));
        EXPECT_EQ(pm.error_message, type == CV_16SC3 ? "Unsupported image depth for colour conversion"
                                                     : "Unsupported channel count for colour conversion");
        EXPECT_EQ(max_difference(image, cv::Mat(2, 3, type, cv::Scalar::all(9))), 0.0);
    }
}

// Float pixels go through lcms2 unquantised, so a round trip comes back
// within one 8-bit level (sRGB lies inside the AdobeRGB gamut); alpha stays.
// Unknown spaces are taken as sRGB.
TEST(ProfileManager, AdobeRgbRoundTripWithinOneLevelAndUnknownSpacesAreSrgb) {
    ProfileManager pm;
    cv::Mat image;
    colour_patch16().convertTo(image, CV_32F, 1.0 / 65535);
    cv::merge(std::vector<cv::Mat>{image, cv::Mat(image.size(), CV_32F, cv::Scalar(0.3f))}, image);
    const cv::Mat original = image.clone();
    ASSERT_TRUE(pm.convert(image, ColorSpace::sRGB, ColorSpace::AdobeRGB));
    EXPECT_GT(max_difference(image, original), 1.0 / 255);
    ASSERT_TRUE(pm.convert(image, ColorSpace::AdobeRGB, ColorSpace::sRGB));
    EXPECT_LE(max_difference(image, original), 1.0 / 255);
    EXPECT_EQ(image.at<cv::Vec4f>(3, 4)[3], 0.3f);

    cv::Mat patch = colour_patch16();
    ASSERT_TRUE(pm.convert(patch, static_cast<ColorSpace>(7), ColorSpace::sRGB));
    EXPECT_LE(max_difference(patch, colour_patch16()), 2.0);
}

TEST(ProfileManager, CameraProfileLoadsReplacesAndApplies) {
    ProfileManager pm;
    const std::string missing = "/nonexistent/camera.icc";
    EXPECT_FALSE(pm.load_camera_profile(missing) || pm.error_message != "Failed to load camera ICC profile: " + missing);

    // Profiles as the library serialises them, loaded back as camera profiles.
    vornalix::testing::TempDir dir;
    for (auto space : {ColorSpace::ProPhotoRGB, ColorSpace::AdobeRGB}) {
        fixtures::write_bytes(dir.file("camera.icc"), pm.get_icc_bytes(space));
        ASSERT_TRUE(pm.load_camera_profile(dir.file("camera.icc")));  // the leak check sees the first one closed
    }
    cv::Mat camera = colour_patch16(), expected = camera.clone();
    ASSERT_TRUE(pm.apply_camera_profile(camera));
    ASSERT_TRUE(pm.convert(expected, ColorSpace::AdobeRGB, ColorSpace::sRGB));
    // lcms2's 16-bit transform against its float one: they part by up to
    // ~17 of 65,535 on random colours, far below one 8-bit level (257).
    EXPECT_LE(max_difference(camera, expected), 32.0);

    // 8-bit rows are half as long as the 16-bit format the transform would use.
    cv::Mat bytes(2, 2, CV_8UC4, cv::Scalar(10, 20, 30, 40));
    EXPECT_FALSE(pm.apply_camera_profile(bytes) || pm.error_message != "Unsupported image depth for camera profile");
    EXPECT_EQ(bytes.at<cv::Vec4b>(1, 1), cv::Vec4b(10, 20, 30, 40));

    EXPECT_FALSE(pm.load_camera_profile(missing) || pm.camera_profile);  // a failed load drops the earlier profile
}
