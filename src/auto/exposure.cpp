// Auto exposure: the median luminance of a fixed 256 x 256 copy.

#include "auto/analysis_image.h"
#include "auto/histogram.h"
#include "auto/suggestions.h"

namespace vornalix::analysis {

float exposure_suggestion(const cv::Mat& exposure_image) {
    const histogram::Counts counts = histogram::of_plane(luminance_plane(exposure_image));
    return exposure_from_median(histogram::median(counts.data()));
}

}  // namespace vornalix::analysis
