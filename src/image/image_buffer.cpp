#include "image/image_buffer.h"

#include "image/image_memory.h"

#include <opencv2/imgproc.hpp>

#include <stdexcept>
#include <vector>

namespace vornalix {

namespace {

constexpr double kEightToSixteen = 257.0;
constexpr unsigned short kOpaque = 65535;

// RGB to RGBA fills the alpha channel with the depth's maximum: opaque.
cv::Mat with_opaque_alpha(const cv::Mat& rgb16) {
    cv::Mat rgba;
    create_image(rgba, rgb16.size(), CV_16UC4);
    cv::cvtColor(rgb16, rgba, cv::COLOR_RGB2RGBA);
    return rgba;
}

}  // namespace

ImageBuffer::ImageBuffer(int width, int height)
    : mat(height, width, CV_16UC4, cv::Scalar(0, 0, 0, kOpaque)) {}

ImageBuffer::ImageBuffer(const cv::Mat& m) {
    if (m.empty()) return;
    switch (m.type()) {
        case CV_8UC3: {
            cv::Mat wide;
            create_image(wide, m.size(), CV_16UC3);
            m.convertTo(wide, CV_16UC3, kEightToSixteen);
            mat = with_opaque_alpha(wide);
            break;
        }
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

cv::Mat ImageBuffer::to_8bit_bgr() const {
    cv::Mat out;
    if (mat.empty()) return out;
    create_image(out, mat.size(), CV_8UC3);
    // A row at a time through the conversions of to_8bit, so no whole 8-bit
    // copy with alpha is made on the way.
    cv::parallel_for_(cv::Range(0, mat.rows), [&](const cv::Range& rows) {
        cv::Mat rgba8;
        for (int y = rows.start; y < rows.end; ++y) {
            mat.row(y).convertTo(rgba8, CV_8UC4, 1.0 / kEightToSixteen);
            cv::Mat bgr = out.row(y);
            cv::cvtColor(rgba8, bgr, cv::COLOR_RGBA2BGR);
        }
    });
    return out;
}

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

cv::Mat ImageBuffer::rgb_mat() const {
    cv::Mat out;
    if (mat.empty()) return out;
    create_image(out, mat.size(), CV_16UC3);
    cv::cvtColor(mat, out, cv::COLOR_RGBA2RGB);
    return out;
}

void ImageBuffer::set_from_rgb_mat(const cv::Mat& m) {
    if (m.empty()) return;
    ImageBuffer converted(m);
    mat = converted.mat;
}

}  // namespace vornalix
