#include "support/dng_writer.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <vector>

namespace vornalix::testing {

namespace {

enum Type : std::uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kSRational = 10 };

// A field of the IFD; `bytes` holds its little-endian value(s).
struct Entry { std::uint16_t tag, type; std::uint32_t count; std::vector<std::uint8_t> bytes; };

void put(std::vector<std::uint8_t>& v, std::uint32_t x, int bytes) {
    for (int i = 0; i < bytes; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}

// Each value at the type's width; a rational takes a numerator and a denominator.
Entry entry(std::uint16_t tag, Type type, const std::vector<std::int64_t>& values) {
    const bool rational = type == kRational || type == kSRational;
    Entry e{tag, type, static_cast<std::uint32_t>(rational ? values.size() / 2 : values.size()), {}};
    for (auto x : values) put(e.bytes, static_cast<std::uint32_t>(x), type == kByte ? 1 : type == kShort ? 2 : 4);
    return e;
}

Entry ascii(std::uint16_t tag, const std::string& text) {
    Entry e{tag, kAscii, static_cast<std::uint32_t>(text.size() + 1), {text.begin(), text.end()}};
    e.bytes.push_back(0);
    return e;
}

// Writes one little-endian TIFF: the header, the single strip, then the
// single IFD followed by the values too long to sit in it.
bool write_tiff(const std::string& path, std::vector<Entry> entries, const std::vector<std::uint8_t>& strip) {
    const std::uint32_t strip_offset = 8, ifd_offset = strip_offset + ((strip.size() + 1) & ~1u);
    entries.insert(entries.end(),
                   {entry(273, kLong, {strip_offset}), entry(279, kLong, {static_cast<std::int64_t>(strip.size())})});
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    std::vector<std::uint8_t> file = {'I', 'I', 42, 0}, data;
    put(file, ifd_offset, 4);
    file.insert(file.end(), strip.begin(), strip.end());
    file.resize(ifd_offset);
    const auto data_offset = static_cast<std::uint32_t>(ifd_offset + 2 + 12 * entries.size() + 4);
    put(file, static_cast<std::uint32_t>(entries.size()), 2);
    for (Entry& e : entries) {
        for (auto [value, width] : {std::pair<std::uint32_t, int>{e.tag, 2}, {e.type, 2}, {e.count, 4}})
            put(file, value, width);
        if (e.bytes.size() > 4) {
            put(file, data_offset + static_cast<std::uint32_t>(data.size()), 4);
            data.insert(data.end(), e.bytes.begin(), e.bytes.end());
            data.resize((data.size() + 1) & ~size_t{1});
        } else {
            e.bytes.resize(4, 0);
            file.insert(file.end(), e.bytes.begin(), e.bytes.end());
        }
    }
    put(file, 0, 4);  // no further IFD
    file.insert(file.end(), data.begin(), data.end());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

std::vector<Entry> common_entries(int width, int height, std::uint32_t photometric, const DngOptions& o) {
    const std::int64_t w = o.declared_width ? o.declared_width : width;
    const std::int64_t h = o.declared_height ? o.declared_height : height;
    // XYZ (D65) -> linear sRGB over 10000: the camera records linear sRGB.
    std::vector<std::int64_t> xyz_to_srgb;
    for (int m : {32406, -15372, -4986, -9689, 18758, 415, 557, -2040, 10570})
        xyz_to_srgb.insert(xyz_to_srgb.end(), {m, 10000});
    return {
        entry(254, kLong, {0}), entry(256, kLong, {w}), entry(257, kLong, {h}), entry(258, kShort, {16}),
        entry(259, kShort, {1}), entry(262, kShort, {photometric}), ascii(271, o.make), ascii(272, "Test Camera"),
        entry(274, kShort, {o.orientation}), entry(277, kShort, {1}), entry(278, kLong, {h}), entry(284, kShort, {1}),
        entry(50706, kByte, {1, 4, 0, 0}), entry(50707, kByte, {1, 1, 0, 0}), ascii(50708, o.make + " Test Camera"),
        entry(50714, kShort, {0}), entry(50717, kLong, {65535}), entry(50721, kSRational, xyz_to_srgb),
        entry(50728, kRational, {1, 1, 1, 1, 1, 1}), entry(50778, kShort, {21}),  // D65
    };
}

std::vector<std::uint8_t> samples_le(const cv::Mat& plane16) {
    std::vector<std::uint8_t> out;
    for (int y = 0; y < plane16.rows; ++y)
        for (int x = 0; x < plane16.cols; ++x) put(out, plane16.at<std::uint16_t>(y, x), 2);
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
    entries.insert(entries.end(), {entry(33421, kShort, {2, 2}), entry(33422, kByte, {0, 1, 1, 2})});  // CFA 2 x 2, RGGB
    return write_tiff(path, entries, samples_le(mosaic));
}

bool write_linear_grey_dng(const std::string& path, const cv::Mat& grey, const DngOptions& options) {
    if (grey.type() != CV_16UC1) return false;
    return write_tiff(path, common_entries(grey.cols, grey.rows, 34892, options), samples_le(grey));
}

cv::Mat make_test_scene(int width, int height, unsigned short level) {
    cv::Mat scene(height, width, CV_16UC3, cv::Scalar::all(0));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            scene.at<cv::Vec3w>(y, x)[std::min(2, 3 * x / width)] = y < height / 2 ? level : level / 2;
    return scene;
}

}  // namespace vornalix::testing
