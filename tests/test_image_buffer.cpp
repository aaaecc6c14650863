#include "image/image_buffer.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <stdexcept>

using vornalix::ImageBuffer;

TEST(ImageBuffer, ConstructsFromEverySupportedTypeAndRefusesOthers) {
    // 8-bit values scale by 257 (three channels, pinned by loading, gain an opaque alpha).
    EXPECT_EQ(ImageBuffer(cv::Mat(1, 1, CV_8UC4, cv::Scalar(1, 2, 3, 0))).mat.at<cv::Vec4w>(0, 0),
              cv::Vec4w(257, 514, 771, 0));
    cv::Mat rgba16(1, 1, CV_16UC4, cv::Scalar(7, 8, 9, 10));
    EXPECT_NE(ImageBuffer(rgba16).mat.data, rgba16.data);  // a copy, not a view
    EXPECT_TRUE(ImageBuffer(cv::Mat()).empty());
    for (int type : {CV_8UC1, CV_32FC3, CV_16SC3})
        EXPECT_THROW(ImageBuffer(cv::Mat(2, 2, type, cv::Scalar::all(0))), std::invalid_argument) << type;
}

TEST(ImageBuffer, ConversionsFillAndCopyRoundSaturateAndHandleEmpty) {
    ImageBuffer b(3, 1);
    b.mat.at<cv::Vec4w>(0, 0) = {65535, 32896, 128, 65535};
    EXPECT_EQ(b.to_8bit().at<cv::Vec4b>(0, 0), cv::Vec4b(255, 128, 0, 255));
    EXPECT_EQ(b.to_8bit_bgr().at<cv::Vec3b>(0, 0), cv::Vec3b(0, 128, 255));  // the encoders' order
    for (const auto& [in, out] : {std::pair{cv::Mat(1, 1, CV_32FC4, cv::Scalar(-0.5, 0.5, 2.0, 1.0)), cv::Vec4w(0, 32768, 65535, 65535)},
                                  {cv::Mat(1, 1, CV_32FC3, cv::Scalar(0.0, 1.0, 0.0)), cv::Vec4w(0, 65535, 0, 65535)}})
        EXPECT_EQ(ImageBuffer::from_float(in).mat.at<cv::Vec4w>(0, 0), out);

    ImageBuffer empty;
    empty.fill(5);
    EXPECT_TRUE(ImageBuffer::from_float(cv::Mat()).empty());
    EXPECT_TRUE(empty.to_8bit().empty() && empty.to_float().empty() && empty.rgb_mat().empty());
    b.set_from_rgb_mat(cv::Mat());  // an empty matrix changes nothing
    EXPECT_FALSE(b.empty());

    // Fill and resize keep the alpha opaque; a copy owns its pixels.
    b.fill(1000);
    EXPECT_EQ(b.resize(8, 5, cv::INTER_NEAREST).mat.at<cv::Vec4w>(4, 7), cv::Vec4w(1000, 1000, 1000, 65535));
    ImageBuffer copy;
    copy.copy_from(b);
    EXPECT_TRUE(copy.mat.data != b.mat.data && cv::norm(copy.mat, b.mat, cv::NORM_INF) == 0);
    copy.copy_from(ImageBuffer());
    EXPECT_TRUE(copy.empty());
}
