// Auto straighten: the length-weighted tilt of the dominant near-horizontal
// line segments of the 800-wide copy.

#include "auto/analysis_image.h"
#include "auto/suggestions.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vornalix::analysis {

std::vector<cv::Vec4i> line_segments(const cv::Mat& grey) {
    cv::Mat blurred;
    cv::GaussianBlur(grey, blurred, cv::Size(5, 5), 0, 0, cv::BORDER_DEFAULT);
    cv::Mat edges;
    cv::Canny(blurred, edges, 50, 150, 3, false);

    constexpr double kRho = 1.0;
    constexpr float kTheta = 0.017453292f;  // one degree
    constexpr int kVotes = 50;
    constexpr double kMinLength = 50.0, kMaxGap = 10.0;
    std::vector<cv::Vec4i> segments;
    cv::HoughLinesP(edges, segments, kRho, static_cast<double>(kTheta), kVotes, kMinLength, kMaxGap);
    return segments;
}

std::vector<Tilt> horizon_tilts(const std::vector<cv::Vec4i>& segments) {
    constexpr float kPi = 3.1415927f;
    constexpr float kMaxTilt = 30.0f;  // steeper segments are not horizon candidates
    constexpr float kMinLength = 20.0f;
    std::vector<Tilt> tilts;
    for (const cv::Vec4i& s : segments) {
        const float dx = static_cast<float>(s[2] - s[0]);
        const float dy = static_cast<float>(s[3] - s[1]);
        // A segment and its reverse fold to the same angle in -90..90.
        float angle = std::atan2(dy, dx) * 180.0f / kPi;
        while (angle > 90.0f) angle -= 180.0f;
        while (angle < -90.0f) angle += 180.0f;
        const float length = std::sqrt(dx * dx + dy * dy);
        if (std::fabs(angle) <= kMaxTilt && length > kMinLength) tilts.push_back({angle, length});
    }
    return tilts;
}

float straighten_suggestion(const cv::Mat& straighten_image) {
    if (straighten_image.empty()) return 0.0f;
    constexpr float kLimit = 45.0f;
    cv::Mat grey;
    luminance_plane(straighten_image).convertTo(grey, CV_8U, 255.0, 0.0);
    float weighted = 0.0f, total = 0.0f;
    for (const Tilt& t : horizon_tilts(line_segments(grey))) {
        weighted += t.angle * t.length;
        total += t.length;
    }
    if (!(total > 0.0f)) return 0.0f;
    // y grows downward: a segment falling to the right has a positive angle,
    // and the suggestion is the opposite of the mean tilt.
    return std::min(std::max(-(weighted / total), -kLimit), kLimit);
}

}  // namespace vornalix::analysis
