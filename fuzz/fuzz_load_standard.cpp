// Loading arbitrary bytes through the standard route under each of its
// suffixes (in either letter case), then rendering the preview.

#include "loading.h"

#include <array>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr std::array<const char*, 14> kNames = {
        "input.jpg", "input.jpeg", "input.png", "input.tif", "input.tiff", "input.bmp", "input.webp",
        "input.JPG", "input.JPEG", "input.PNG", "input.TIF", "input.TIFF", "input.BMP", "input.WEBP"};
    // The suffix follows from the size, so a saved input replays the same way.
    fuzzing::load_and_preview(kNames[size % kNames.size()], 1, data, size);
    return 0;
}
