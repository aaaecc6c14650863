#pragma once
// Measurements behind the automatic analyses: each takes its reduced float
// copy of the unedited image and returns suggested settings.

#include <opencv2/core.hpp>

#include <array>

namespace vornalix::analysis {

// Widths (and the fixed exposure size) of the analysis copies.
constexpr int kEnhanceWidth = 512;
constexpr int kExposureSide = 256;
constexpr int kStraightenWidth = 800;
constexpr int kCropWidth = 512;

// Entries 0..15 follow the first sixteen scalar settings (exposure, brightness,
// contrast, highlights, shadows, whites, blacks, temperature, tint, saturation,
// vibrance, three sharpening values, nr_luminance, nr_color); 16..31 are 0.
constexpr int kSuggestionCount = 32;
using Suggestions = std::array<float, kSuggestionCount>;
Suggestions enhance_suggestions(const cv::Mat& analysis_image);

// The exposure formula shared by auto-enhance and auto exposure: 35 % of the
// correction in EV that brings the median luminance to 0.42, within -1..1.
float exposure_from_median(float median);

// Exposure suggestion in EV from the 256 x 256 copy.
float exposure_suggestion(const cv::Mat& exposure_image);

// Negated length-weighted mean tilt, in degrees with y downward, of the
// near-horizontal lines of the 800-wide copy; 0 when there are none.
float straighten_suggestion(const cv::Mat& straighten_image);

}  // namespace vornalix::analysis
