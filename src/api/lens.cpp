// The lens profile of the loaded RAW file, matched in the database when first asked for.

#include "api/boundary.h"
#include "vornalix.h"

#include <algorithm>
#include <cstring>
#include <string>

extern "C" int vornalix_lens_profile_info(VornalixContext* ctx, char* name, int size) {
    if (!ctx) return vornalix::api::kFailure;
    return vornalix::api::guarded(ctx, [&] {
        vornalix::api::require_image(ctx);
        const vornalix::lens::Profile& profile = ctx->pipeline.lens_profile;
        if (name && size > 0) {
            const std::string text = profile.name();
            const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
            std::memcpy(name, text.data(), n);
            name[n] = '\0';
        }
        return profile.found() ? 1 : 0;
    });
}
