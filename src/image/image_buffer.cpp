#include "image/image_buffer.h"

#include <opencv2/imgproc.hpp>

#include <stdexcept>
#include <vector>

namespace vornalix {

namespace {

constexpr double kEightToSixteen = 257.0;
constexpr unsigned short kOpaque = 65535;

cv::Mat with_opaque_alpha(const cv::Mat& rgb16) {
    std::vector<cv::Mat> planes;
    cv::split(rgb16, planes);
    planes.emplace_back(rgb16.size(), CV_16UC1, cv::Scalar(kOpaque));
    cv::Mat rgba;
    cv::merge(planes, rgba);
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
            m.convertTo(wide, CV_16UC3, kEightToSixteen);
            mat = with_opaque_alpha(wide);
            break;
        }
        case CV_16UC3:
            mat = with_opaque_alpha(m);
            break;
        case CV_8UC4:
            m.convertTo(mat, CV_16UC4, kEightToSixteen);
            break;
        case CV_16UC4:
            mat = m.clone();
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
    if (!mat.empty()) mat.convertTo(out, CV_8UC4, 1.0 / kEightToSixteen);
}

cv::Mat ImageBuffer::to_float() const {
    cv::Mat out;
    if (!mat.empty()) mat.convertTo(out, CV_32FC4, 1.0 / 65535.0);
    return out;
}

ImageBuffer ImageBuffer::from_float(const cv::Mat& f) {
    if (f.empty()) return ImageBuffer();
    cv::Mat wide;
    f.convertTo(wide, CV_MAKETYPE(CV_16U, f.channels()), 65535.0);
    return ImageBuffer(wide);
}

void ImageBuffer::copy_from(const ImageBuffer& other) {
    if (other.mat.empty()) {
        mat.release();
        return;
    }
    other.mat.copyTo(mat);
    // copyTo reuses our storage when sizes match; make sure we never alias.
    if (mat.data == other.mat.data) mat = other.mat.clone();
}

void ImageBuffer::fill(unsigned short v) {
    if (!mat.empty()) mat.setTo(cv::Scalar(v, v, v, kOpaque));
}

ImageBuffer ImageBuffer::resize(int width, int height, int interpolation) const {
    cv::Mat out;
    cv::resize(mat, out, cv::Size(width, height), 0, 0, interpolation);
    return ImageBuffer(out);
}

cv::Mat ImageBuffer::rgb_mat() const {
    cv::Mat out;
    if (!mat.empty()) cv::cvtColor(mat, out, cv::COLOR_RGBA2RGB);
    return out;
}

void ImageBuffer::set_from_rgb_mat(const cv::Mat& m) {
    if (m.empty()) return;
    std::vector<cv::Mat> planes;
    cv::split(m, planes);
    if (planes.size() == 3) planes.emplace_back(m.size(), CV_16UC1, cv::Scalar(kOpaque));
    cv::merge(planes, mat);
}

}  // namespace vornalix
