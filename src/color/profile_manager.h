#pragma once
// ICC colour management over Little CMS 2: four fixed RGB working spaces,
// in-place conversions between them, and camera profiles.

#include <lcms2.h>

#include <string>

namespace vornalix::color_mgmt {

class ProfileManager {
public:
    cmsHPROFILE camera_profile = nullptr;
    std::string error_message;

    ProfileManager() = default;
    ~ProfileManager();
    ProfileManager(const ProfileManager&) = delete;
    ProfileManager& operator=(const ProfileManager&) = delete;
};

}  // namespace vornalix::color_mgmt
