// The perceptual hash of arbitrary bytes under a RAW suffix and under each
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

    unsigned long long hash = 1;
    const int rc = vornalix_phash(path.c_str(), &hash);
    if (rc != 0 && hash != 0) std::abort();  // failure leaves the hash at 0
    return 0;
}
