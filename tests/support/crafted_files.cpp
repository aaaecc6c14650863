#include "support/crafted_files.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cstdint>
#include <fstream>
#include <vector>

namespace vornalix::testing {

namespace {

void put_le(std::vector<unsigned char>& bytes, uint32_t value, int n) {
    for (int i = 0; i < n; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

bool write_bytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

bool write_rle_bmp(const std::string& path, int width, int height) {
    constexpr uint32_t kInfoHeader = 40, kFileHeader = 14, kColours = 256, kRle8 = 1;
    const std::vector<unsigned char> pixels = {0, 1};  // end of bitmap
    const uint32_t offset = kFileHeader + kInfoHeader + 4 * kColours;

    std::vector<unsigned char> b = {'B', 'M'};
    put_le(b, offset + static_cast<uint32_t>(pixels.size()), 4);
    put_le(b, 0, 4);
    put_le(b, offset, 4);
    put_le(b, kInfoHeader, 4);
    put_le(b, static_cast<uint32_t>(width), 4);
    put_le(b, static_cast<uint32_t>(height), 4);
    put_le(b, 1, 2);  // planes
    put_le(b, 8, 2);  // bits per pixel
    put_le(b, kRle8, 4);
    put_le(b, static_cast<uint32_t>(pixels.size()), 4);
    put_le(b, 2835, 4);  // 72 dpi
    put_le(b, 2835, 4);
    put_le(b, kColours, 4);
    put_le(b, 0, 4);
    for (uint32_t i = 0; i < kColours; ++i) put_le(b, i * 0x010101u, 4);  // grey ramp
    b.insert(b.end(), pixels.begin(), pixels.end());
    return write_bytes(path, b);
}

bool write_pfm(const std::string& path) {
    cv::Mat image(24, 32, CV_32FC3, cv::Scalar(0.25f, 0.5f, 0.75f));
    std::vector<unsigned char> bytes;
    if (!cv::imencode(".pfm", image, bytes)) return false;
    return write_bytes(path, bytes);
}

}  // namespace vornalix::testing
