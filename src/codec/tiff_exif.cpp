// A TIFF file's EXIF, copied out of the file's own directories into a block
// of its own: the first directory's entries that describe the shot, and the
// EXIF, GPS and interoperability directories they lead to, each value moved
// next to its directory. The block is laid out as a JPEG's APP1 segment, so
// it is read like any other file's. Classic TIFF only; every read is checked
// against the data, and whatever does not fit is left out.

#include "codec/image_read.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace vornalix::codec {

namespace {

constexpr std::uint16_t kExifPointer = 34665, kGpsPointer = 34853, kInteropPointer = 40965;
// The first directory's tags that say something of the shot, not of how the
// file stores its pixels: description, make, model, orientation, resolution
// and its unit, software, date, artist, copyright and the two pointers.
constexpr std::uint16_t kShotTags[] = {270, 271, 272, 274, 282, 283, 296, 305, 306, 315, 33432, kExifPointer,
                                       kGpsPointer};
constexpr std::size_t kHeaderSize = 8, kEntrySize = 12, kInlineBytes = 4;
// What a reader of an APP1 segment takes at most (its 16-bit length, less
// the length itself and the "Exif\0\0" header).
constexpr std::size_t kMaxBlock = 0xFFFF - 2 - 6;

std::size_t type_size(std::uint16_t type) {
    switch (type) {
        case 1: case 2: case 6: case 7: return 1;  // bytes, text, signed bytes, undefined
        case 3: case 8: return 2;                   // shorts
        case 4: case 9: case 11: case 13: return 4; // longs, float, directory
        case 5: case 10: case 12: return 8;         // rationals, double
        default: return 0;
    }
}

// A bit for each directory pointer, 0 for any other tag.
unsigned pointer_bit(std::uint16_t tag) {
    return tag == kExifPointer ? 1u : tag == kGpsPointer ? 2u : tag == kInteropPointer ? 4u : 0u;
}

struct Tiff {
    const unsigned char* data;
    std::size_t size;
    bool big_endian;

    bool has(std::uint64_t at, std::uint64_t n) const { return at <= size && n <= size - at; }
    std::uint32_t get(std::size_t at, int n) const {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = v << 8 | data[at + static_cast<std::size_t>(big_endian ? i : n - 1 - i)];
        return v;
    }
};

// Numbers written in the file's own byte order at a place in the block.
struct Block {
    Bytes bytes;
    bool big_endian;
    unsigned followed = 0;  // the pointers followed: each once, so a crafted chain ends

    void put(std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            bytes[at + static_cast<std::size_t>(big_endian ? n - 1 - i : i)] = static_cast<unsigned char>(v >> 8 * i);
    }
};

// Copies the directory at `from` to the end of the block (only the shot's
// entries of the `first`); returns the number of entries kept.
std::size_t copy_directory(const Tiff& in, std::uint32_t from, bool first, Block& out);

// Copies one entry (12 bytes at `entry`) to `slot` in the block; false when
// it is left out.
bool copy_entry(const Tiff& in, std::size_t entry, bool first, Block& out, std::size_t slot) {
    const std::uint16_t tag = static_cast<std::uint16_t>(in.get(entry, 2));
    const std::uint16_t type = static_cast<std::uint16_t>(in.get(entry + 2, 2));
    const std::uint32_t count = in.get(entry + 4, 4);
    if (first && std::find(std::begin(kShotTags), std::end(kShotTags), tag) == std::end(kShotTags)) return false;
    const std::uint64_t bytes = std::uint64_t{type_size(type)} * count;
    if (bytes == 0) return false;
    std::memcpy(&out.bytes[slot], &in.data[entry], kEntrySize);
    if (const unsigned bit = pointer_bit(tag)) {
        if ((out.followed & bit) || bytes != kInlineBytes) return false;
        out.followed |= bit;
        const std::size_t at = out.bytes.size();
        if (copy_directory(in, in.get(entry + 8, 4), false, out) == 0) {
            out.bytes.resize(at);
            return false;
        }
        out.put(slot + 8, static_cast<std::uint32_t>(at), 4);
    } else if (bytes > kInlineBytes) {
        const std::uint32_t value_at = in.get(entry + 8, 4);
        const std::size_t at = out.bytes.size() + out.bytes.size() % 2;  // values start on a word boundary
        if (!in.has(value_at, bytes) || at + bytes > kMaxBlock) return false;
        out.bytes.resize(at);
        out.bytes.insert(out.bytes.end(), in.data + value_at, in.data + value_at + bytes);
        out.put(slot + 8, static_cast<std::uint32_t>(at), 4);
    }
    return true;
}

std::size_t copy_directory(const Tiff& in, std::uint32_t from, bool first, Block& out) {
    if (!in.has(from, 2)) return 0;
    const std::size_t count = in.get(from, 2);
    const std::size_t table = out.bytes.size();
    const std::size_t table_size = 2 + count * kEntrySize + 4;
    if (!in.has(from + 2ull, count * kEntrySize) || table + table_size > kMaxBlock) return 0;
    out.bytes.resize(table + table_size, 0);  // the next-directory link stays 0
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t slot = table + 2 + kept * kEntrySize;
        if (copy_entry(in, from + 2 + i * kEntrySize, first, out, slot)) ++kept;
    }
    out.put(table, static_cast<std::uint32_t>(kept), 2);
    // The slots of dropped entries, at the table's end, read as the link to no next directory.
    std::fill(out.bytes.begin() + static_cast<std::ptrdiff_t>(table + 2 + kept * kEntrySize),
              out.bytes.begin() + static_cast<std::ptrdiff_t>(table + table_size), 0);
    return kept;
}

}  // namespace

Bytes tiff_exif_block(const unsigned char* data, std::size_t size) {
    if (size < kHeaderSize) return {};
    const bool big_endian = data[0] == 'M' && data[1] == 'M';
    const Tiff in{data, size, big_endian};
    if (!(big_endian || (data[0] == 'I' && data[1] == 'I')) || in.get(2, 2) != 42) return {};
    Block out{Bytes(data, data + 4), big_endian};
    out.bytes.resize(kHeaderSize);
    out.put(4, kHeaderSize, 4);
    if (copy_directory(in, in.get(4, 4), true, out) == 0) return {};
    return exif_block(out.bytes.data(), out.bytes.size());
}

}  // namespace vornalix::codec
