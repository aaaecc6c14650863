#pragma once
// Measurements behind the automatic analyses: each takes its reduced float
// copy of the unedited image and returns suggested settings.

#include "settings/settings_table.h"

#include <opencv2/core.hpp>

#include <array>
#include <vector>

namespace vornalix::analysis {

// Widths (and the fixed exposure size) of the analysis copies.
constexpr int kEnhanceWidth = 512;
constexpr int kExposureSide = 256;
constexpr int kStraightenWidth = 800;
constexpr int kCropWidth = 512;

// Entries 0..15 follow the first sixteen single-value settings; the settings
// table's suggestion column names the entry of each setting it feeds. The
// sharpening entries 11..13 and 16..31 hold 0.
constexpr int kSuggestionCount = 32;
using Suggestions = std::array<float, kSuggestionCount>;
namespace entry {
#define VORNALIX_SUGGESTION_ENTRY(key, type, value, front_end_value, min, max, flag, unit, suggestion) \
    constexpr int key = suggestion;
VORNALIX_SETTINGS(VORNALIX_SUGGESTION_ENTRY, VORNALIX_SETTINGS_SKIP)
#undef VORNALIX_SUGGESTION_ENTRY
}  // namespace entry
Suggestions enhance_suggestions(const cv::Mat& analysis_image);

// The exposure formula shared by auto-enhance and auto exposure: 35 % of the
// correction in EV that brings the median luminance to 0.42, within -1..1.
float exposure_from_median(float median);

// Exposure suggestion in EV from the 256 x 256 copy.
float exposure_suggestion(const cv::Mat& exposure_image);

// Line segments of an 8-bit grey image: 5 x 5 Gaussian, Canny (50, 150),
// probabilistic Hough (1 px, 1 degree, 50 votes, length 50, gap 10).
std::vector<cv::Vec4i> line_segments(const cv::Mat& grey);

// Folded angle (degrees in -90..90, y downward) and length of each segment
// that could be part of a horizon: at most 30 degrees off level, longer than
// 20 px. In the order of the segments.
struct Tilt {
    float angle;
    float length;
};
std::vector<Tilt> horizon_tilts(const std::vector<cv::Vec4i>& segments);

// Negated length-weighted mean tilt, in degrees with y downward, of the
// near-horizontal lines of the 800-wide copy; 0 when there are none.
float straighten_suggestion(const cv::Mat& straighten_image);

}  // namespace vornalix::analysis
