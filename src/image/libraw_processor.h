#pragma once
// LibRaw set-up shared by the RAW decoder and the thumbnail code: a fresh
// processor per call, owned so that its buffers and any processed image are
// released on every path (errors and exceptions included), and a checked
// view of a processed image that never reads past its buffer.

#include <libraw/libraw.h>

#include <opencv2/core.hpp>

#include <memory>
#include <string>

namespace vornalix {

// LibRaw with the output curve its bitmap copies apply within reach, so
// the decoder can apply it where the processed image already lies.
class RawProcessor : public LibRaw {
public:
    RawProcessor() : LibRaw(LIBRAW_OPTIONS_NONE) {}
    // The table dcraw_make_mem_image maps every processed sample through,
    // made as it makes it with automatic brightening off at brightness 1.
    const ushort* output_curve();
    // Runs the library's own AHD in place of LibRaw's (the same pixels) when
    // dcraw_process demosaics a Bayer mosaic.
    void use_own_ahd();

private:
    static void interpolate_bayer(void* processor);
    void interpolate_bayer();
};

// Destroying the processor recycles it and frees everything it allocated.
using LibRawPtr = std::unique_ptr<RawProcessor>;

// A new processor constructed with no option flags.
LibRawPtr make_libraw_processor();

struct ProcessedImageDeleter {
    void operator()(libraw_processed_image_t* image) const { LibRaw::dcraw_clear_mem(image); }
};
using ProcessedImagePtr = std::unique_ptr<libraw_processed_image_t, ProcessedImageDeleter>;

// `prefix` followed by LibRaw's text for `code`, e.g.
// "LibRaw unpack failed: " + libraw_strerror(code).
std::string libraw_message(const char* prefix, int code);

// Output parameters of a development to 16-bit sRGB with the sRGB tone
// curve, camera white balance, AHD demosaicing (the library's own) and no
// automatic brightening; half-size decoding on request.
void set_srgb16_output(RawProcessor& processor, bool half_size);

// True when the frame LibRaw identified (raw and output sizes) stays within
// kMaxDecodedPixels; call after open_file, before unpack.
bool frame_within_bound(const LibRaw& processor);

// The processed bitmap as an independent three-channel matrix of depth
// `bits` (8 -> CV_8UC3, 16 -> CV_16UC3), channels R, G, B; a one-colour
// image becomes grey RGB. Fails with `failure_code` and a message saying why
// when the image is not a bitmap of that depth with 1 or 3 colours whose
// data_size covers width x height x colours samples.
cv::Mat copy_processed_image(const libraw_processed_image_t& image, int bits, int failure_code = -1);

// The developed image of a processor after dcraw_process, with LibRaw's
// output curve applied in place: 16-bit R, G, B and opaque alpha, pixel for
// pixel what dcraw_make_mem_image gives (plus the alpha), but as a view of
// the processor's own memory, valid until it is reset or destroyed. Empty,
// with the processor untouched, unless the image is upright with three
// colours at the processed size and 16-bit output at brightness 1 without
// automatic brightening; copy_developed_image serves every other image.
cv::Mat develop_in_place(RawProcessor& processor);

// The developed image of a processor after dcraw_process, as
// copy_processed_image would give it from dcraw_make_mem_image at 16 bits
// (the same LibRaw conversion), but written straight into a matrix of the
// library's own: one large allocation and copy fewer. Fails with "LibRaw
// could not return the developed image: " and the reason when LibRaw refuses
// or its output is not 16-bit with 1 or 3 colours.
cv::Mat copy_developed_image(LibRaw& processor);

}  // namespace vornalix
