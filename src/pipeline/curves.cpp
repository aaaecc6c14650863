// Tone curves: a master curve on R, G and B, then one curve per channel, each
// turned into a 65,536-entry table by a Catmull-Rom spline through its points.

#include "pipeline/pipeline.h"
#include "pipeline/pixel.h"
#include "pipeline/stage_loops.h"
#include "pipeline/tone_math.h"

#include <algorithm>
#include <array>
#include <memory>

namespace vornalix {

namespace {
constexpr int kLutSize = 65536;
}

void Pipeline::build_lut(const CurvePoints& curve, std::vector<float>& lut) {
    lut.resize(kLutSize);
    constexpr float kLast = static_cast<float>(kLutSize - 1);
    if (curve.is_identity()) {
        for (int i = 0; i < kLutSize; ++i) lut[i] = static_cast<float>(i) / kLast;
        return;
    }

    const auto& p = curve.points;
    const int n = static_cast<int>(p.size());
    // Segment k is the first whose right end x[k+1] is not left of x (the last
    // one if none is). As x only grows along the table, the segment index only
    // grows too, so one forward sweep finds every segment; points out of order
    // are used as stored.
    int k = 0;
    for (int i = 0; i < kLutSize; ++i) {
        const float x = static_cast<float>(i) / kLast;
        while (k < n - 2 && !(x <= p[k + 1].first)) ++k;

        const int i0 = std::max(k - 1, 0);
        const int i1 = k;
        const int i2 = std::min(k + 1, n - 1);
        const int i3 = std::min(k + 2, n - 1);
        const float dx = p[i2].first - p[i1].first;
        float t = dx > 1e-6f ? (x - p[i1].first) / dx : 0.0f;
        t = std::min(std::max(t, 0.0f), 1.0f);  // outside the points the curve is flat
        const float y = tone::catmull_rom(p[i0].second, p[i1].second, p[i2].second, p[i3].second, t);
        lut[i] = pixel::clamp01(y);  // overshoot clamped, NaN from non-finite points becomes 0
    }
}

void Pipeline::apply_tone_curves(RowPass& pass, const EditParams& params) {
    const auto& curves = params.curves;
    if (std::all_of(curves.begin(), curves.end(), [](const CurvePoints& c) { return c.is_identity(); })) return;

    if (!curve_tables_.folded || !(curve_tables_.curves == curves)) {
        std::array<std::vector<float>, 4> luts;  // master, red, green, blue
        for (int c = 0; c < 4; ++c) build_lut(curves[c], luts[c]);
        // The master entry a value reads depends on the value's index alone, so
        // master-then-channel folds into one table per channel with the same results.
        auto folded = std::make_shared<std::array<std::vector<float>, 3>>();
        for (int c = 0; c < 3; ++c) {
            auto& table = (*folded)[c];
            table.resize(kLutSize);
            for (int i = 0; i < kLutSize; ++i) table[i] = luts[c + 1][tone::lut_index(luts[0][i], kLutSize)];
        }
        curve_tables_ = {curves, std::move(folded)};
    }
    pass.add([folded = curve_tables_.folded](int, cv::Vec4f* px, int n) {
        const auto& t = *folded;  // shared by the kernel's copies on every thread
        int index[4];
        for (int x = 0; x < n; ++x) {
            cv::v_store(index, tone::lut_index(cv::v_load(px[x].val), kLutSize));
            for (int c = 0; c < 3; ++c) px[x][c] = t[c][index[c]];
        }
    }, RowPass::per_channel);
}

}  // namespace vornalix
