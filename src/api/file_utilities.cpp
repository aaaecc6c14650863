// The file utilities that need no context: a file's preview as JPEG bytes
// and its perceptual hash. Failures have codes only; there is no context to
// hold a message.

#include "api/boundary.h"
#include "hash/phash.h"
#include "image/thumbnail.h"
#include "vornalix.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kThumbAllocFailed = -4;

}  // namespace

extern "C" {

VORNALIX_API int vornalix_extract_thumbnail(const char* path, unsigned char** data, unsigned int* size) {
    if (!path || !data || !size) return vornalix::api::kFailure;
    *data = nullptr;
    *size = 0;
    return vornalix::api::guarded(nullptr, [&] {
        const std::vector<unsigned char> jpeg = vornalix::make_thumbnail_jpeg(path);
        if (jpeg.size() > UINT_MAX) vornalix::fail("thumbnail too large", kThumbAllocFailed);
        *size = static_cast<unsigned int>(jpeg.size());
        void* block = std::malloc(jpeg.size());
        if (!block) vornalix::fail("out of memory", kThumbAllocFailed);
        std::memcpy(block, jpeg.data(), jpeg.size());
        *data = static_cast<unsigned char*>(block);
        return 0;
    });
}

VORNALIX_API void vornalix_free_thumb(void* data) { std::free(data); }

VORNALIX_API int vornalix_phash(const char* path, unsigned long long* hash) {
    if (!path || !hash) return vornalix::api::kFailure;
    *hash = 0;
    return vornalix::api::guarded(nullptr, [&] {
        *hash = vornalix::perceptual_hash_file(path);
        return 0;
    });
}

}  // extern "C"
