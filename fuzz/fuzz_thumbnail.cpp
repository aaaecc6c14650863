// Thumbnail extraction from arbitrary bytes under a RAW suffix and under each
// standard suffix.

#include "scratch.h"
#include "vornalix.h"

#include <array>
#include <string>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr std::array<const char*, 8> kNames = {"input.ARW",  "input.jpg", "input.jpeg", "input.png",
                                                          "input.TIFF", "input.bmp", "input.webp", "input.cr2"};
    // The suffix follows from the size, so a saved input replays the same way.
    const std::string path = fuzzing::scratch_path(kNames[size % kNames.size()]);
    fuzzing::write_file(path, data, size);

    unsigned char* thumb = nullptr;
    unsigned int thumb_size = 0;
    const int rc = vornalix_extract_thumbnail(path.c_str(), &thumb, &thumb_size);
    if (rc == 0 && (!thumb || thumb_size == 0)) std::abort();
    if (rc != 0 && thumb) std::abort();
    vornalix_free_thumb(thumb);
    return 0;
}
