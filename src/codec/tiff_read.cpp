// TIFF through libtiff's RGBA interface, the route OpenCV's 8-bit colour read
// took for every layout (strips or tiles, planar or packed, any compression
// and depth libtiff knows): the first directory, upright, alpha dropped.

#include "codec/image_read.h"

#include "codec/memory_stream.h"
#include "core/failure.h"

#include <opencv2/imgproc.hpp>
#include <tiffio.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace vornalix::codec {

namespace {

MemoryStream& file_of(thandle_t handle) { return *static_cast<MemoryStream*>(handle); }

tmsize_t read_memory(thandle_t handle, void* out, tmsize_t n) {
    return static_cast<tmsize_t>(file_of(handle).read(out, static_cast<std::size_t>(std::max<tmsize_t>(n, 0))));
}

tmsize_t refuse_write(thandle_t, void*, tmsize_t) { return 0; }

toff_t seek_memory(thandle_t handle, toff_t offset, int whence) {
    MemoryStream& f = file_of(handle);
    const std::size_t base = whence == SEEK_CUR ? f.pos : whence == SEEK_END ? f.size : 0;
    f.pos = std::min<std::size_t>(f.size, base + static_cast<std::size_t>(offset));
    return f.pos;
}

int close_memory(thandle_t) { return 0; }
toff_t size_of_memory(thandle_t handle) { return file_of(handle).size; }
int keep_quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// libtiff's upright read undoes the mirrorings but leaves rows and columns
// of the sideways orientations (5 to 8) in place; OpenCV's read turned them.
void turn_side_orientations(TIFF* tif, cv::Mat& rgb) {
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation);
    if (orientation == ORIENTATION_RIGHTTOP || orientation == ORIENTATION_LEFTBOT) cv::flip(rgb, rgb, -1);
    if (orientation >= ORIENTATION_LEFTTOP && orientation <= ORIENTATION_LEFTBOT) cv::transpose(rgb, rgb);
}

using TiffPtr = std::unique_ptr<TIFF, decltype(&TIFFClose)>;

TiffPtr open_memory(MemoryStream& file) {
    std::unique_ptr<TIFFOpenOptions, decltype(&TIFFOpenOptionsFree)> options(TIFFOpenOptionsAlloc(),
                                                                             &TIFFOpenOptionsFree);
    if (!options) fail("out of memory");
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), keep_quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), keep_quiet, nullptr);
    // "m": no memory mapping; the reads above are the only access.
    return TiffPtr(TIFFClientOpenExt("memory", "rm", &file, read_memory, refuse_write, seek_memory, close_memory,
                                     size_of_memory, nullptr, nullptr, options.get()),
                   &TIFFClose);
}

}  // namespace

DecodedImage read_tiff(const unsigned char* data, std::size_t size) {
    MemoryStream file{data, size};
    TiffPtr tif = open_memory(file);
    if (!tif) fail("corrupt TIFF data");
    std::uint32_t width = 0, height = 0;
    char why[1024];
    if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height) ||
        !TIFFRGBAImageOK(tif.get(), why))
        fail("unsupported TIFF layout");
    require_decodable_size(width, height);

    cv::Mat rgba(static_cast<int>(height), static_cast<int>(width), CV_8UC4);  // ABGR words, i.e. R, G, B, A bytes
    if (!TIFFReadRGBAImageOriented(tif.get(), width, height, reinterpret_cast<std::uint32_t*>(rgba.data),
                                   ORIENTATION_TOPLEFT, 1))
        fail("corrupt TIFF data");
    DecodedImage out;
    cv::cvtColor(rgba, out.rgb, cv::COLOR_RGBA2RGB);
    turn_side_orientations(tif.get(), out.rgb);

    std::uint32_t icc_size = 0;
    void* icc = nullptr;
    if (TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &icc_size, &icc) && icc)
        out.icc.assign(static_cast<const unsigned char*>(icc), static_cast<const unsigned char*>(icc) + icc_size);
    out.exif = tiff_exif_block(data, size);
    return out;
}

}  // namespace vornalix::codec
