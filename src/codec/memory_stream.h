#pragma once
// Encoded bytes in memory, read front to back through the callback
// interfaces of the format libraries.

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace vornalix::codec {

struct MemoryStream {
    const unsigned char* data;
    std::size_t size;
    std::size_t pos = 0;

    // Copies up to n bytes from the current position; returns how many.
    std::size_t read(void* out, std::size_t n) {
        const std::size_t count = std::min(n, size - pos);
        if (count > 0) std::memcpy(out, data + pos, count);
        pos += count;
        return count;
    }
};

}  // namespace vornalix::codec
