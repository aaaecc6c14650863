#pragma once
// The BMP layout facts our reader and writer share.

#include <cstddef>
#include <cstdint>

namespace vornalix::codec::bmp {

constexpr std::size_t kFileHeaderSize = 14;  // the info header follows
constexpr std::uint32_t kV5HeaderSize = 124;
// Inside a version 5 info header: the colour space, and the profile's
// offset (from the info header) and size.
constexpr std::size_t kColourSpaceAt = 56;
constexpr std::size_t kProfileAt = 112;
constexpr std::uint32_t kEmbeddedProfile = 0x4D424544;  // "MBED"

}  // namespace vornalix::codec::bmp
