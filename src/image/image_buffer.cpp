#include "image/image_buffer.h"

#include "image/image_memory.h"

#include <opencv2/imgproc.hpp>

#include <stdexcept>
#include <vector>

namespace vornalix {

namespace {

constexpr double kEightToSixteen = 257.0;
constexpr unsigned short kOpaque = 65535;

// RGB to RGBA fills the alpha channel with the depth's maximum: opaque. 8-bit
// input is widened a row at a time, so no whole 16-bit copy without alpha
// is made on the way.
cv::Mat with_opaque_alpha(const cv::Mat& rgb) {
    cv::Mat rgba;
    create_image(rgba, rgb.size(), CV_16UC4);
    if (rgb.depth() == CV_16U) {
        cv::cvtColor(rgb, rgba, cv::COLOR_RGB2RGBA);
        return rgba;
    }
    cv::parallel_for_(cv::Range(0, rgb.rows), [&](const cv::Range& rows) {
        cv::Mat rgba8;
        for (int y = rows.start; y < rows.end; ++y) {
            cv::cvtColor(rgb.row(y), rgba8, cv::COLOR_RGB2RGBA);
            cv::Mat row = rgba.row(y);
            rgba8.convertTo(row, CV_16UC4, kEightToSixteen);
        }
    });
    return rgba;
}

// The colour channels of a 16-bit R, G, B, A image at `depth` (CV_8U: the
// values of to_8bit), in the channel order `code` gives; 8-bit output is
// converted a row at a time, so no whole copy with alpha is made on the way.
cv::Mat without_alpha(const cv::Mat& rgba16, int depth, int code) {
    cv::Mat out;
    if (rgba16.empty()) return out;
    create_image(out, rgba16.size(), CV_MAKETYPE(depth, 3));
    if (depth == CV_16U) {
        cv::cvtColor(rgba16, out, code);
        return out;
    }
    cv::parallel_for_(cv::Range(0, rgba16.rows), [&](const cv::Range& rows) {
        cv::Mat rgba8;
        for (int y = rows.start; y < rows.end; ++y) {
            rgba16.row(y).convertTo(rgba8, CV_8UC4, 1.0 / kEightToSixteen);
            cv::Mat row = out.row(y);
            cv::cvtColor(rgba8, row, code);
        }
    });
    return out;
}

}  // namespace

ImageBuffer::ImageBuffer(int width, int height)
    : mat(height, width, CV_16UC4, cv::Scalar(0, 0, 0, kOpaque)) {}

ImageBuffer::ImageBuffer(const cv::Mat& m) {
    if (m.empty()) return;
    switch (m.type()) {
        case CV_8UC3:
        case CV_16UC3:
            mat = with_opaque_alpha(m);
            break;
        case CV_8UC4:
            create_image(mat, m.size(), CV_16UC4);
            m.convertTo(mat, CV_16UC4, kEightToSixteen);
            break;
        case CV_16UC4:
            create_image(mat, m.size(), CV_16UC4);
            m.copyTo(mat);
            break;
        default:
            throw std::invalid_argument("ImageBuffer: unsupported cv::Mat type");
    }
}

cv::Mat ImageBuffer::to_8bit() const {
    cv::Mat out;
    to_8bit(out);
    return out;
}

void ImageBuffer::to_8bit(cv::Mat& out) const {
    if (mat.empty()) return;
    create_image(out, mat.size(), CV_8UC4);
    mat.convertTo(out, CV_8UC4, 1.0 / kEightToSixteen);
}

cv::Mat ImageBuffer::to_8bit_bgr() const { return without_alpha(mat, CV_8U, cv::COLOR_RGBA2BGR); }

cv::Mat ImageBuffer::to_float() const {
    cv::Mat out;
    if (mat.empty()) return out;
    create_image(out, mat.size(), CV_32FC4);
    mat.convertTo(out, CV_32FC4, 1.0 / 65535.0);
    return out;
}

ImageBuffer ImageBuffer::from_float(const cv::Mat& f) {
    if (f.empty()) return ImageBuffer();
    const int type = CV_MAKETYPE(CV_16U, f.channels());
    if (type != CV_16UC3 && type != CV_16UC4) return ImageBuffer(f);  // refused there
    cv::Mat wide;
    create_image(wide, f.size(), type);
    f.convertTo(wide, type, 65535.0);
    if (type == CV_16UC3) return ImageBuffer(wide);
    ImageBuffer out;
    out.mat = wide;
    return out;
}

void ImageBuffer::copy_from(const ImageBuffer& other) {
    if (other.mat.empty()) {
        mat.release();
        return;
    }
    if (mat.data != other.mat.data) create_image(mat, other.mat.size(), other.mat.type());
    other.mat.copyTo(mat);
    // copyTo reuses our storage when sizes match; make sure we never alias.
    if (mat.data == other.mat.data) mat = other.mat.clone();
}

void ImageBuffer::fill(unsigned short v) {
    if (!mat.empty()) mat.setTo(cv::Scalar(v, v, v, kOpaque));
}

ImageBuffer ImageBuffer::resize(int width, int height, int interpolation) const {
    ImageBuffer out;
    create_image(out.mat, cv::Size(width, height), CV_16UC4);
    cv::resize(mat, out.mat, cv::Size(width, height), 0, 0, interpolation);
    return out;
}

cv::Mat ImageBuffer::rgb_mat(int depth) const { return without_alpha(mat, depth, cv::COLOR_RGBA2RGB); }

void ImageBuffer::set_from_rgb_mat(const cv::Mat& m) {
    if (m.empty()) return;
    ImageBuffer converted(m);
    mat = converted.mat;
}

}  // namespace vornalix
