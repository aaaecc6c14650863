#pragma once
// Lens profiles from the lens database: a RAW file's camera and lens, matched
// in the database the first time a profile is asked for, applied at whatever
// size the working image has.

#include <opencv2/core.hpp>

#include <memory>
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

// The database's entry for a shot's lens, with the camera's crop factor;
// no lens when nothing matched.
struct Match {
    const lfLens* lens = nullptr;  // owned by the database, which lives for the process
    float crop_factor = 0.0f;
};

// The database's match for the shot's camera and lens (loading the database
// on the process's first call). Empty when either is missing from the
// database, when the shot names no lens or no focal length.
Match find_match(const Shot& shot);

// A shot's profile. The database is read only when the profile is first
// asked about (found, name, apply_profile), once per shot: copies share the
// match, and any thread may ask. An empty profile corrects nothing.
class Profile {
public:
    Profile() = default;
    explicit Profile(const Shot& shot);

    const Shot& shot() const;
    const Match& match() const;
    bool found() const { return match().lens != nullptr; }
    // The lens as the database names it, "" when nothing matched.
    std::string name() const;

private:
    struct Lookup;
    std::shared_ptr<Lookup> lookup_;
};

// Corrects distortion, lateral chromatic aberration and vignetting of a
// float R, G, B, A image in one resampling pass; `spare` receives the old
// image's memory. Colour values are display-encoded, so the database's linear
// vignetting gain is applied through a display gamma.
void apply_profile(const Profile& profile, cv::Mat& image, cv::Mat& spare);

}  // namespace vornalix::lens
