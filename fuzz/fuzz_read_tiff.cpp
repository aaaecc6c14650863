// The TIFF reader on arbitrary bytes.

#include "reading.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::read_as(vornalix::ImageFormat::tiff, data, size);
    return 0;
}
