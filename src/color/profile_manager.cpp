#include "color/profile_manager.h"

namespace vornalix::color_mgmt {

ProfileManager::~ProfileManager() {
    if (camera_profile) cmsCloseProfile(camera_profile);
}

}  // namespace vornalix::color_mgmt
