#pragma once
// A white balance that measures: a robust grey-world estimate (a power mean,
// so bright near-grey surfaces lead) of the picture's colour cast, expressed
// in the white-balance stage's own terms.

#include <opencv2/core.hpp>

namespace vornalix::analysis {

struct WhiteBalance {
    float temperature = 6500.0f;  // kelvin, as the stage takes it
    float tint = 0.0f;
};

// The temperature and tint that make the power mean of the picture's trusted
// pixels grey: clipped, very dark and coloured pixels (coloured even once
// the cast found so far is removed) are left out. A float R, G, B(, A) image
// in 0..1; with no trusted pixel, the neutral 6500 / 0. The stage's range
// (2000..12000 K) bounds the answer: it cannot undo every warm cast.
WhiteBalance measure_white_balance(const cv::Mat& rgb_float);

}  // namespace vornalix::analysis
