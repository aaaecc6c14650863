#include "support/dng_writer.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <vector>

namespace vornalix::testing {

namespace {

enum Type : std::uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kSRational = 10 };

struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::vector<std::uint8_t> bytes;  // little-endian value(s)
};

void put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
    v.push_back(x & 0xFF);
    v.push_back((x >> 8) & 0xFF);
}
void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

Entry shorts(std::uint16_t tag, std::vector<std::uint32_t> values) {
    Entry e{tag, kShort, static_cast<std::uint32_t>(values.size()), {}};
    for (auto x : values) put16(e.bytes, x);
    return e;
}
Entry longs(std::uint16_t tag, std::vector<std::uint32_t> values) {
    Entry e{tag, kLong, static_cast<std::uint32_t>(values.size()), {}};
    for (auto x : values) put32(e.bytes, x);
    return e;
}
Entry bytes(std::uint16_t tag, std::vector<std::uint8_t> values) {
    return Entry{tag, kByte, static_cast<std::uint32_t>(values.size()), values};
}
Entry ascii(std::uint16_t tag, const std::string& text) {
    Entry e{tag, kAscii, static_cast<std::uint32_t>(text.size() + 1), {}};
    e.bytes.assign(text.begin(), text.end());
    e.bytes.push_back(0);
    return e;
}
Entry rationals(std::uint16_t tag, std::uint16_t type, const std::vector<std::int32_t>& numerators,
                std::uint32_t denominator) {
    Entry e{tag, type, static_cast<std::uint32_t>(numerators.size()), {}};
    for (auto n : numerators) {
        put32(e.bytes, static_cast<std::uint32_t>(n));
        put32(e.bytes, denominator);
    }
    return e;
}

// Writes one little-endian TIFF with a single IFD and a single strip.
bool write_tiff(const std::string& path, std::vector<Entry> entries, const std::vector<std::uint8_t>& strip) {
    const std::uint32_t ifd_offset = 8;
    // Strip offset and byte count are filled in once the layout is known.
    entries.push_back(longs(273, {0}));
    entries.push_back(longs(279, {static_cast<std::uint32_t>(strip.size())}));
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });

    const std::uint32_t ifd_size = 2 + 12 * static_cast<std::uint32_t>(entries.size()) + 4;
    std::uint32_t data_offset = ifd_offset + ifd_size;
    std::vector<std::uint8_t> ifd, data;
    std::uint32_t strip_offset = data_offset;
    for (const Entry& e : entries)
        if (e.bytes.size() > 4) strip_offset += static_cast<std::uint32_t>((e.bytes.size() + 1) & ~1u);
    put16(ifd, static_cast<std::uint32_t>(entries.size()));
    for (Entry e : entries) {
        if (e.tag == 273) {
            e.bytes.clear();
            put32(e.bytes, strip_offset);
        }
        put16(ifd, e.tag);
        put16(ifd, e.type);
        put32(ifd, e.count);
        if (e.bytes.size() <= 4) {
            e.bytes.resize(4, 0);
            ifd.insert(ifd.end(), e.bytes.begin(), e.bytes.end());
        } else {
            put32(ifd, data_offset + static_cast<std::uint32_t>(data.size()));
            data.insert(data.end(), e.bytes.begin(), e.bytes.end());
            if (data.size() % 2) data.push_back(0);
        }
    }
    put32(ifd, 0);  // no further IFD

    std::vector<std::uint8_t> file = {'I', 'I', 42, 0};
    put32(file, ifd_offset);
    file.insert(file.end(), ifd.begin(), ifd.end());
    file.insert(file.end(), data.begin(), data.end());
    file.insert(file.end(), strip.begin(), strip.end());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

std::vector<Entry> common_entries(int width, int height, std::uint32_t photometric, const DngOptions& o) {
    // XYZ (D65) -> linear sRGB: the camera records linear sRGB.
    const std::vector<std::int32_t> xyz_to_srgb = {32406, -15372, -4986, -9689, 18758, 415, 557, -2040, 10570};
    return {
        longs(254, {0}),
        longs(256, {static_cast<std::uint32_t>(o.declared_width ? o.declared_width : width)}),
        longs(257, {static_cast<std::uint32_t>(o.declared_height ? o.declared_height : height)}),
        shorts(258, {16}),
        shorts(259, {1}),
        shorts(262, {photometric}),
        ascii(271, o.make),
        ascii(272, o.model),
        shorts(274, {static_cast<std::uint32_t>(o.orientation)}),
        shorts(277, {1}),
        longs(278, {static_cast<std::uint32_t>(o.declared_height ? o.declared_height : height)}),
        shorts(284, {1}),
        bytes(50706, {1, 4, 0, 0}),
        bytes(50707, {1, 1, 0, 0}),
        ascii(50708, o.make + " " + o.model),
        shorts(50714, {0}),
        longs(50717, {65535}),
        rationals(50721, kSRational, xyz_to_srgb, 10000),
        rationals(50728, kRational, {1, 1, 1}, 1),
        shorts(50778, {21}),  // D65
    };
}

std::vector<std::uint8_t> samples_le(const cv::Mat& plane16) {
    std::vector<std::uint8_t> out;
    out.reserve(plane16.total() * 2);
    for (int y = 0; y < plane16.rows; ++y)
        for (int x = 0; x < plane16.cols; ++x) put16(out, plane16.at<std::uint16_t>(y, x));
    return out;
}

}  // namespace

bool write_bayer_dng(const std::string& path, const cv::Mat& rgb, const DngOptions& options) {
    if (rgb.type() != CV_16UC3 || rgb.cols % 2 || rgb.rows % 2) return false;
    cv::Mat mosaic(rgb.size(), CV_16UC1);
    for (int y = 0; y < rgb.rows; ++y)
        for (int x = 0; x < rgb.cols; ++x) {
            // RGGB: R at (even, even), B at (odd, odd), G elsewhere.
            const int channel = (y % 2 == 0 && x % 2 == 0) ? 0 : (y % 2 == 1 && x % 2 == 1) ? 2 : 1;
            mosaic.at<std::uint16_t>(y, x) = rgb.at<cv::Vec3w>(y, x)[channel];
        }
    std::vector<Entry> entries = common_entries(rgb.cols, rgb.rows, 32803, options);
    entries.push_back(shorts(33421, {2, 2}));
    entries.push_back(bytes(33422, {0, 1, 1, 2}));
    return write_tiff(path, entries, samples_le(mosaic));
}

bool write_linear_grey_dng(const std::string& path, const cv::Mat& grey, const DngOptions& options) {
    if (grey.type() != CV_16UC1) return false;
    return write_tiff(path, common_entries(grey.cols, grey.rows, 34892, options), samples_le(grey));
}

cv::Mat make_test_scene(int width, int height, unsigned short level) {
    cv::Mat scene(height, width, CV_16UC3, cv::Scalar::all(0));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int third = std::min(2, 3 * x / width);
            scene.at<cv::Vec3w>(y, x)[third] = y < height / 2 ? level : static_cast<unsigned short>(level / 2);
        }
    return scene;
}

}  // namespace vornalix::testing
