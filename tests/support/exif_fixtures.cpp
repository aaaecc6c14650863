#include "support/exif_fixtures.h"

#include <libexif/exif-utils.h>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace fixtures {

namespace {

constexpr ExifByteOrder kOrder = EXIF_BYTE_ORDER_INTEL;

}  // namespace

std::vector<std::string> file_names(const vornalix::testing::TempDir& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

ExifBuilder::ExifBuilder() : data_(exif_data_new()) {
    exif_data_set_byte_order(data_, kOrder);
    // Keep entries exactly as built: no fixing of formats or mandatory entries.
    exif_data_unset_option(data_, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_unset_option(data_, EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
}

ExifBuilder::~ExifBuilder() { exif_data_unref(data_); }

ExifBuilder& ExifBuilder::raw(ExifIfd ifd, unsigned tag, ExifFormat format, unsigned components,
                              const Bytes& bytes) {
    ExifEntry* e = exif_entry_new();
    e->tag = static_cast<ExifTag>(tag), e->format = format, e->components = components;
    e->size = static_cast<unsigned>(bytes.size());
    e->data = static_cast<unsigned char*>(std::malloc(bytes.size() + 1));
    std::copy(bytes.begin(), bytes.end(), e->data);
    exif_content_add_entry(data_->ifd[ifd], e);
    exif_entry_unref(e);
    return *this;
}

ExifBuilder& ExifBuilder::ascii(ExifIfd ifd, unsigned tag, const std::string& text) {
    const Bytes b(text.c_str(), text.c_str() + text.size() + 1);  // with its terminator
    return raw(ifd, tag, EXIF_FORMAT_ASCII, static_cast<unsigned>(b.size()), b);
}

ExifBuilder& ExifBuilder::rationals(ExifIfd ifd, unsigned tag,
                                    const std::vector<std::pair<unsigned, unsigned>>& values) {
    Bytes b(values.size() * 8);
    for (size_t i = 0; i < values.size(); ++i)
        exif_set_rational(&b[8 * i], kOrder, {values[i].first, values[i].second});
    return raw(ifd, tag, EXIF_FORMAT_RATIONAL, static_cast<unsigned>(values.size()), b);
}

// One value of `format`, set in place by libexif's writer for it.
template <class Set, class Value>
ExifBuilder& scalar(ExifBuilder& b, ExifIfd ifd, unsigned tag, ExifFormat format, Set set, Value v) {
    Bytes bytes(exif_format_get_size(format));
    set(bytes.data(), kOrder, v);
    return b.raw(ifd, tag, format, 1, bytes);
}

ExifBuilder& ExifBuilder::srational(ExifIfd ifd, unsigned tag, int num, int den) {
    return scalar(*this, ifd, tag, EXIF_FORMAT_SRATIONAL, exif_set_srational, ExifSRational{num, den});
}
ExifBuilder& ExifBuilder::short_value(ExifIfd ifd, unsigned tag, unsigned short v) {
    return scalar(*this, ifd, tag, EXIF_FORMAT_SHORT, exif_set_short, v);
}

Bytes ExifBuilder::block() const {
    unsigned char* buf = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data_, &buf, &size);
    Bytes out(buf, buf + size);
    std::free(buf);
    return out;
}

Bytes camera_block() {
    ExifBuilder b;
    b.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Maker").ascii(EXIF_IFD_0, EXIF_TAG_MODEL, "Model X")
        .short_value(EXIF_IFD_0, EXIF_TAG_ORIENTATION, 6).rationals(EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_TIME, {{1, 250}});
    return b.block();
}

Bytes plain_jpeg(int width, int height) {
    Bytes out;
    cv::imencode(".jpg", cv::Mat(height, width, CV_8UC3, cv::Scalar(90, 120, 150)), out);
    return out;
}

Bytes segment(unsigned char marker, const Bytes& payload) {
    const size_t len = payload.size() + 2;
    const auto byte = [](size_t v) { return static_cast<unsigned char>(v & 0xFF); };
    return concat({{0xFF, marker, byte(len >> 8), byte(len)}, payload});
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes jpeg_with_exif(const Bytes& block) {
    const Bytes plain = plain_jpeg();
    return concat({{0xFF, 0xD8}, segment(0xE1, block), Bytes(plain.begin() + 2, plain.end())});
}

Bytes read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_bytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<Bytes> segments_with_marker(const Bytes& jpeg, unsigned char marker) {
    std::vector<Bytes> out;
    size_t p = 2;
    while (p + 4 <= jpeg.size() && jpeg[p] == 0xFF && jpeg[p + 1] != 0xDA) {
        const size_t len = (size_t(jpeg[p + 2]) << 8) | jpeg[p + 3];
        if (len < 2 || p + 2 + len > jpeg.size()) break;
        if (jpeg[p + 1] == marker) out.emplace_back(jpeg.begin() + p + 4, jpeg.begin() + p + 2 + len);
        p += 2 + len;
    }
    return out;
}

}  // namespace fixtures
