#pragma once
// ICC colour management over Little CMS 2: fixed RGB spaces, in-place
// conversions between them, and camera profiles.

#include <lcms2.h>
#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace vornalix::color_mgmt {

// The spaces. Any value outside 1..4 (negative ones included) is taken as
// sRGB, so the underlying type is fixed to make every int valid.
enum class ColorSpace : int {
    sRGB = 0,
    AdobeRGB = 1,
    ProPhotoRGB = 2,
    LinearSRGB = 3,
    DisplayP3 = 4,
};

class ProfileManager {
public:
    // Owned; null when no camera profile is loaded.
    cmsHPROFILE camera_profile = nullptr;
    // Text of the most recent failure; successful calls leave it as it is.
    std::string error_message;

    ProfileManager() = default;
    ~ProfileManager();
    ProfileManager(const ProfileManager&) = delete;
    ProfileManager& operator=(const ProfileManager&) = delete;

    // A new profile for `space` that the caller closes, or null. Its
    // description names the space ("sRGB", "Adobe RGB (1998)", "Display P3"...).
    cmsHPROFILE create_profile(ColorSpace space) const;
    // Converts 8-bit, 16-bit or float RGB / RGBA pixels in place; alpha is
    // left as it was. Other images are refused (false, message, untouched).
    bool convert(cv::Mat& image, ColorSpace from, ColorSpace to);
    // The ICC serialisation of the space's profile; empty on failure.
    std::vector<uint8_t> get_icc_bytes(ColorSpace space) const;
    // Replaces the camera profile with the one in the file.
    bool load_camera_profile(const std::string& path);
    // Camera space to sRGB in place for 16-bit or float RGB / RGBA images;
    // without a camera profile the image is taken as linear sRGB.
    bool apply_camera_profile(cv::Mat& image);

private:
    void close_camera_profile();
};

}  // namespace vornalix::color_mgmt
