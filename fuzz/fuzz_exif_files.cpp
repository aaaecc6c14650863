// EXIF read, copy and strip through files, as a host calls them: the source
// holds the fuzzer's bytes; a copy into a valid JPEG and a strip either
// succeed or leave their target byte for byte as it was, and no temporary
// file stays behind.

#include "metadata/exif.h"
#include "scratch.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using vornalix::metadata::Bytes;

namespace {

const Bytes& target_jpeg() {
    static const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1,
                               1,    0,    0,    1,    0,    1,    0,    0,    0xFF, 0xD9};
    return jpeg;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string source = fuzzing::scratch_path("source.jpg");
    static const std::string target = fuzzing::scratch_path("target.jpg");
    fuzzing::write_file(source, data, size);
    fuzzing::write_file(target, target_jpeg().data(), target_jpeg().size());

    VornalixExif record;
    vornalix::metadata::read_exif(source, record);

    if (!vornalix::metadata::copy_exif(source, target) && fuzzing::read_file(target) != target_jpeg())
        std::abort();  // a failed copy damaged its target
    if (!vornalix::metadata::strip_exif(source) &&
        fuzzing::read_file(source) != Bytes(data, data + size))
        std::abort();  // a failed strip damaged its file
    if (fuzzing::scratch_entries() != 2) std::abort();  // a temporary was left behind
    return 0;
}
