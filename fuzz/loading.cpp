#include "loading.h"

#include "scratch.h"
#include "vornalix.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace fuzzing {

namespace {

// Rendering time grows with the picture and the pipeline is not what these
// targets probe: a tiny file may legitimately decode to almost 200
// megapixels (reduced to 4096 on the long side on loading), and rendering
// that under the sanitizers takes a minute. Larger pictures are loaded and
// checked, but only pictures up to this size are rendered.
constexpr long long kMaxRenderedPixels = 1 << 20;

}  // namespace

void load_and_preview(const std::string& file_name, int scale, const std::uint8_t* data, std::size_t size) {
    const std::string path = scratch_path(file_name);
    write_file(path, data, size);

    VornalixContext* ctx = vornalix_create_context();
    if (!ctx) std::abort();
    const int loaded = vornalix_load_arw(ctx, path.c_str(), scale);
    if (loaded != 0 && loaded != -1) std::abort();
    if (loaded == 0) {
        const int width = vornalix_get_width(ctx);
        const int height = vornalix_get_height(ctx);
        if (width <= 0 || height <= 0) std::abort();
        if (static_cast<long long>(width) * height > kMaxRenderedPixels) {
            vornalix_destroy_context(ctx);
            return;
        }
        std::vector<unsigned char> preview(static_cast<std::size_t>(width) * height * 4);
        if (vornalix_get_preview(ctx, preview.data(), static_cast<int>(preview.size())) != 0 &&
            std::strlen(vornalix_last_error(ctx)) == 0)
            std::abort();  // a failure without a message
        VornalixExif exif;
        if (vornalix_get_exif(ctx, &exif) != 0) std::abort();
    } else if (std::strlen(vornalix_last_error(ctx)) == 0) {
        std::abort();
    }
    vornalix_destroy_context(ctx);
}

}  // namespace fuzzing
