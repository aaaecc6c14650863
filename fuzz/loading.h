#pragma once
// Shared body of the loading targets: the bytes become a file with the given
// name, which is loaded into a fresh context and, when that succeeds (and the
// picture has at most a megapixel), rendered into a preview.

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzing {

void load_and_preview(const std::string& file_name, int scale, const std::uint8_t* data, std::size_t size);

}  // namespace fuzzing
