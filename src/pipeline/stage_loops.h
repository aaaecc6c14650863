#pragma once
// The two ways a stage walks the working image (four float channels R, G, B, A):
// pixel by pixel in place, or plane by plane through split and merge.

#include <opencv2/core.hpp>

#include <vector>

namespace vornalix {

// Calls fn(r, g, b) with references to the colour channels of every pixel;
// alpha is never touched. Does nothing for an image without rows or columns.
template <typename Fn>
void for_each_rgb(cv::Mat& working, Fn&& fn) {
    if (working.rows == 0 || working.cols == 0) return;
    CV_Assert(working.type() == CV_32FC4);
    for (int y = 0; y < working.rows; ++y) {
        auto* px = working.ptr<cv::Vec4f>(y);
        for (int x = 0; x < working.cols; ++x) fn(px[x][0], px[x][1], px[x][2]);
    }
}

// Splits the image, calls fn(plane) on planes 0, 1 and 2 in turn and merges
// all four planes back.
template <typename Fn>
void for_each_colour_plane(cv::Mat& working, Fn&& fn) {
    if (working.empty()) return;
    CV_Assert(working.type() == CV_32FC4);
    std::vector<cv::Mat> planes;
    cv::split(working, planes);
    for (int c = 0; c < 3; ++c) fn(planes[c]);
    cv::merge(planes, working);
}

}  // namespace vornalix
