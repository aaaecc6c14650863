#pragma once
// The library's one storage format for whole images: 16-bit R, G, B, A
// (alpha 65535 = opaque), with the few conversions the rest needs.

#include <opencv2/core.hpp>

namespace vornalix {

class ImageBuffer {
public:
    cv::Mat mat;  // CV_16UC4 or empty

    ImageBuffer() = default;
    ImageBuffer(int width, int height);
    explicit ImageBuffer(const cv::Mat& m);

    bool empty() const { return mat.empty(); }
    int width() const { return mat.cols; }
    int height() const { return mat.rows; }

    cv::Mat to_8bit() const;
    // The same into `out`, whose memory is used when it has the size and type.
    void to_8bit(cv::Mat& out) const;
    // The same values without alpha, in the B, G, R order encoders take.
    cv::Mat to_8bit_bgr() const;
    cv::Mat to_float() const;
    static ImageBuffer from_float(const cv::Mat& f);
    void copy_from(const ImageBuffer& other);
    void fill(unsigned short v);
    ImageBuffer resize(int width, int height, int interpolation) const;
    // R, G, B without alpha at CV_16U, or at CV_8U with the values of to_8bit.
    cv::Mat rgb_mat(int depth = CV_16U) const;
    void set_from_rgb_mat(const cv::Mat& m);
};

}  // namespace vornalix
