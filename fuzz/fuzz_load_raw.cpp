// Loading arbitrary bytes through the RAW route (a camera RAW suffix), at
// every decoding scale, then rendering the preview.

#include "loading.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The scale follows from the size, so a saved input replays the same way.
    const int scale = 1 + static_cast<int>(size % 4);
    fuzzing::load_and_preview("input.ARW", scale, data, size);
    return 0;
}
