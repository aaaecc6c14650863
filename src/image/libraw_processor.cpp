#include "image/libraw_processor.h"

#include "core/failure.h"
#include "core/threads.h"
#include "image/ahd_demosaic.h"
#include "image/image_memory.h"
#include "image/image_probe.h"

#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <new>

namespace vornalix {

const ushort* RawProcessor::output_curve() {
    // As LibRaw's bitmap copies do: without automatic brightening (and at
    // the default brightness, which the library never changes) the white
    // level is fixed and the curve spans the whole 16-bit range.
    constexpr int kFixedWhite = 0x2000 << 3;
    if (libraw_internal_data.output_data.histogram)
        gamma_curve(imgdata.params.gamm[0], imgdata.params.gamm[1], 2, kFixedWhite);
    return imgdata.color.curve;
}

void RawProcessor::use_own_ahd() { callbacks.interpolate_bayer_cb = &RawProcessor::interpolate_bayer; }

void RawProcessor::interpolate_bayer(void* processor) {
    static_cast<RawProcessor*>(static_cast<LibRaw*>(processor))->interpolate_bayer();
}

void RawProcessor::interpolate_bayer() {
    const unsigned filters = imgdata.idata.filters;
    // What LibRaw runs at AHD quality for the mosaics the library's AHD
    // does not take: VNG for four colours, its own AHD for odd patterns.
    if (imgdata.idata.colors > 3) return vng_interpolate();
    if (imgdata.idata.colors != 3 || !is_plain_bayer(filters)) return ahd_interpolate();
    cielab(nullptr, nullptr);  // fills LibRaw's tables for this camera
    border_interpolate(5);
    LabTables tables{tls->ahd_data.cbrt, {}};
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 3; ++c) tables.xyz_cam[i][c] = tls->ahd_data.xyz_cam[i][c];
    // Its only failure is running out of memory (OpenCV's pool passes that
    // on as its own exception): reported as LibRaw reports its own.
    try {
        demosaic_ahd({imgdata.image, imgdata.sizes.width, imgdata.sizes.height, filters}, tables);
    } catch (const std::bad_alloc&) {
        throw LIBRAW_EXCEPTION_ALLOC;
    } catch (const cv::Exception&) {
        throw LIBRAW_EXCEPTION_ALLOC;
    }
}

LibRawPtr make_libraw_processor() {
    threads::limit_calling_thread();
    LibRawPtr processor(new RawProcessor());
    // LibRaw reports data errors on stderr by default; the library reports
    // through return codes only.
    processor->set_dataerror_handler([](void*, const char*, int) {}, nullptr);
    return processor;
}

std::string libraw_message(const char* prefix, int code) {
    return std::string(prefix) + libraw_strerror(code);
}

void set_srgb16_output(RawProcessor& processor, bool half_size) {
    libraw_output_params_t& p = processor.imgdata.params;
    p.output_bps = 16;
    p.output_color = 1;             // sRGB
    p.gamm[0] = 1.0 / 2.4;          // sRGB curve: inverse gamma ...
    p.gamm[1] = 12.92;              // ... and slope of the linear toe
    p.use_camera_wb = 1;
    p.user_qual = 3;                // AHD
    p.no_auto_bright = 1;
    p.half_size = half_size ? 1 : 0;
    processor.use_own_ahd();
}

bool frame_within_bound(const LibRaw& processor) {
    const libraw_image_sizes_t& s = processor.imgdata.sizes;
    const auto within = [](std::int64_t w, std::int64_t h) { return w * h <= kMaxDecodedPixels; };
    return within(s.raw_width, s.raw_height) && within(s.width, s.height);
}

namespace {

// A one-colour development becomes grey RGB, like every other image.
cv::Mat as_rgb(const cv::Mat& image) {
    if (image.channels() == 3) return image;
    cv::Mat rgb;
    cv::cvtColor(image, rgb, cv::COLOR_GRAY2RGB);
    return rgb;
}

}  // namespace

cv::Mat copy_processed_image(const libraw_processed_image_t& image, int bits, int failure_code) {
    const auto refuse = [&](const std::string& why) { fail("processed image unusable: " + why, failure_code); };
    if (image.type != LIBRAW_IMAGE_BITMAP) refuse("not a bitmap");
    if (image.bits != bits || (image.colors != 1 && image.colors != 3))
        refuse(std::to_string(image.colors) + " colours of " + std::to_string(image.bits) + " bits");
    const std::uint64_t needed =
        std::uint64_t(image.width) * image.height * image.colors * (bits / 8);
    if (image.width == 0 || image.height == 0 || image.data_size < needed) refuse("image data shorter than its size");
    const int depth = bits == 16 ? CV_16U : CV_8U;
    const cv::Mat view(image.height, image.width, CV_MAKETYPE(depth, image.colors),
                       const_cast<unsigned char*>(image.data));
    const cv::Mat rgb = as_rgb(view);
    return rgb.data == view.data ? rgb.clone() : rgb;
}

cv::Mat develop_in_place(RawProcessor& processor) {
    const libraw_data_t& d = processor.imgdata;
    int width = 0, height = 0, colors = 0, bits = 0;
    processor.get_mem_image_format(&width, &height, &colors, &bits);
    const bool plain = d.image && d.sizes.flip == 0 && colors == 3 && bits == 16 && d.params.no_auto_bright &&
                       d.params.bright == 1.0f && width > 0 && height > 0 && width == d.sizes.width && height == d.sizes.height &&
                       d.sizes.iwidth == d.sizes.width && d.sizes.iheight == d.sizes.height;
    if (!plain) return {};
    const ushort* curve = processor.output_curve();
    cv::Mat view(height, width, CV_16UC4, d.image);
    constexpr ushort kOpaque = 65535;
    cv::parallel_for_(cv::Range(0, height), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            auto* px = view.ptr<cv::Vec4w>(y);
            for (int x = 0; x < width; ++x)
                px[x] = cv::Vec4w(curve[px[x][0]], curve[px[x][1]], curve[px[x][2]], kOpaque);
        }
    });
    return view;
}

cv::Mat copy_developed_image(LibRaw& processor) {
    const auto refuse = [](const std::string& why) {
        fail("LibRaw could not return the developed image: " + why);
    };
    int width = 0, height = 0, colors = 0, bits = 0;
    processor.get_mem_image_format(&width, &height, &colors, &bits);
    if (bits != 16 || (colors != 1 && colors != 3))
        refuse(std::to_string(colors) + " colours of " + std::to_string(bits) + " bits");
    if (width <= 0 || height <= 0) refuse("empty image");
    cv::Mat image;
    create_image(image, cv::Size(width, height), CV_MAKETYPE(CV_16U, colors));
    const int code = processor.copy_mem_image(image.data, static_cast<int>(image.step[0]), 0);
    if (code != LIBRAW_SUCCESS) refuse(libraw_strerror(code));
    return as_rgb(image);
}

}  // namespace vornalix
