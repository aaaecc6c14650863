#pragma once
// Lens profiles from the lens database: matched once per RAW file by camera
// and lens name, applied at whatever size the working image has.

#include <opencv2/core.hpp>

#include <string>

struct lfLens;

namespace vornalix::lens {

// What the camera recorded about the shot, as the RAW decoder read it.
struct Shot {
    std::string make;
    std::string model;
    std::string lens;
    float focal_length = 0.0f;  // millimetres
    float aperture = 0.0f;      // f-number
};

// A matched lens with the camera's crop factor and the shot's settings; an
// empty profile (nothing matched) corrects nothing.
struct Profile {
    const lfLens* lens = nullptr;  // owned by the database, which lives for the process
    float crop_factor = 0.0f;
    float focal_length = 0.0f;
    float aperture = 0.0f;

    bool found() const { return lens != nullptr; }
    // The lens as the database names it, "" when nothing matched.
    std::string name() const;
};

// The database's profile for the shot's camera and lens. Empty when either is
// missing from the database, when the shot names no lens or no focal length.
Profile find_profile(const Shot& shot);

// Corrects distortion, lateral chromatic aberration and vignetting of a
// float R, G, B, A image in one resampling pass; `spare` receives the old
// image's memory. Colour values are display-encoded, so the database's linear
// vignetting gain is applied through a display gamma.
void apply_profile(const Profile& profile, cv::Mat& image, cv::Mat& spare);

}  // namespace vornalix::lens
