// Lens corrections in one stage: radial distortion, lateral chromatic
// aberration, lens vignetting and colour fringes, each under its own guard.

#include "pipeline/geometry.h"
#include "image/image_memory.h"
#include "pipeline/lens_math.h"
#include "pipeline/pipeline.h"
#include "pipeline/row_pass.h"
#include "pipeline/stage_loops.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace vornalix {

namespace {

// One axis of a channel scaled by `factor` with cv::resize (INTER_LINEAR)
// and brought back to the image's length as fit_channel_to_size does: for
// each output position, the two source positions and weights the resize
// reads, or nothing where the fitted plane is padded with zeros.
struct ScaledAxis {
    std::vector<int> first;      // first source position, -1 where padded
    std::vector<int> second;     // second source position
    std::vector<float> weight;   // the second one's weight; the first's is 1 - weight

    // `across` is the resize's horizontal axis, which clamps at the ends; the
    // vertical one clamps only the rows it reads.
    ScaledAxis(int length, int scaled, double inverse_scale, bool across) {
        const double scale = 1.0 / inverse_scale;
        const stage_math::FitSpan span = stage_math::fit_span(scaled, length);
        first.assign(length, -1);
        second.assign(length, 0);
        weight.assign(length, 0.0f);
        for (int o = span.to; o < span.to + span.length; ++o) {
            const int d = o - span.to + span.from;
            float f = static_cast<float>((d + 0.5) * scale - 0.5);
            int s = cvFloor(f);
            f -= static_cast<float>(s);
            if (across && s < 0) f = 0.0f, s = 0;
            if (across && s >= length - 1) f = 0.0f, s = length - 1;
            first[o] = std::clamp(s, 0, length - 1);
            // Past the last pair the resize reads one pixel, unweighted.
            second[o] = across && s == length - 1 ? -1 : std::clamp(s + 1, 0, length - 1);
            weight[o] = f;
        }
    }
};

// The size cv::resize rounds a plane scaled by `factor` to, kept at one
// pixel or more, and the scale it then works with: an explicit size makes it
// derive the scale from the sizes instead.
struct ResizedSize {
    cv::Size size;
    double inverse_scale_x, inverse_scale_y;
};
ResizedSize resized_size(cv::Size size, float factor) {
    const int w = cvRound(size.width * static_cast<double>(factor));
    const int h = cvRound(size.height * static_cast<double>(factor));
    const cv::Size kept(std::max(w, 1), std::max(h, 1));
    if (w >= 1 && h >= 1) return {kept, factor, factor};
    return {kept, static_cast<double>(kept.width) / size.width, static_cast<double>(kept.height) / size.height};
}

// A channel of an R, G, B, A image scaled about the centre by `factor`, read
// row by row as the resized and fitted plane would hold it.
class ScaledChannel {
public:
    ScaledChannel(cv::Size size, const ResizedSize& r)
        : unchanged_(r.size == size),  // cv::resize then only copies
          x_(size.width, r.size.width, r.inverse_scale_x, true),
          y_(size.height, r.size.height, r.inverse_scale_y, false) {}

    bool unchanged() const { return unchanged_; }

    // What row y of the channel reads: two rows of the image and their
    // weights, or no rows where the fitted plane is padded.
    struct Rows {
        const cv::Vec4f* r0 = nullptr;
        const cv::Vec4f* r1 = nullptr;
        lanes::V b0, b1;
    };
    Rows rows(const cv::Mat& image, int y) const {
        if (y_.first[y] < 0) return {};
        const float b1 = y_.weight[y];
        return {image.ptr<cv::Vec4f>(y_.first[y]), image.ptr<cv::Vec4f>(y_.second[y]), lanes::all(1.0f - b1),
                lanes::all(b1)};
    }

    // Column x of the channel, in the channel's own lane: the four channels
    // are sampled at once, each lane as one channel would be on its own.
    lanes::V at(const Rows& rows, int x) const {
        const int s = x_.first[x], t = x_.second[x];
        if (!rows.r0 || s < 0) return lanes::all(0.0f);
        const auto p = [](const cv::Vec4f* row, int at) { return cv::v_load(row[at].val); };
        if (t < 0) return p(rows.r0, s) * rows.b0 + p(rows.r1, s) * rows.b1;
        const float a1 = x_.weight[x];
        const lanes::V w0 = lanes::all(1.0f - a1), w1 = lanes::all(a1);
        return (p(rows.r0, s) * w0 + p(rows.r0, t) * w1) * rows.b0 +
               (p(rows.r1, s) * w0 + p(rows.r1, t) * w1) * rows.b1;
    }

private:
    bool unchanged_;
    ScaledAxis x_, y_;
};

// Red is scaled up and blue down about the centre; green and alpha stay.
// The kernel writes whole pixels from `before`, the image as the stage found
// it, which the pass must not write.
RowKernel correct_chromatic_aberration(const cv::Mat& before, float amount) {
    constexpr float kShiftPer100 = 0.003f;
    // Past this the blue plane would shrink to nothing and the red one grow
    // without bound; the slider's own range stays far below it (0.003).
    constexpr float kMaxShift = 0.99f;
    const float s = std::min(amount / 100.0f * kShiftPer100, kMaxShift);
    auto red = std::make_shared<ScaledChannel>(before.size(), resized_size(before.size(), 1.0f + s));
    auto blue = std::make_shared<ScaledChannel>(before.size(), resized_size(before.size(), 1.0f - s));
    return [before, red, blue](int y, cv::Vec4f* px, int n) {
        const cv::Vec4f* in = before.ptr<cv::Vec4f>(y);
        const ScaledChannel::Rows red_rows = red->rows(before, y), blue_rows = blue->rows(before, y);
        const lanes::V red_lane = lanes::lane_mask(0), blue_lane = lanes::lane_mask(2);
        for (int x = 0; x < n; ++x) {
            lanes::V v = cv::v_load(in[x].val);
            if (!red->unchanged()) v = cv::v_select(red_lane, red->at(red_rows, x), v);
            if (!blue->unchanged()) v = cv::v_select(blue_lane, blue->at(blue_rows, x), v);
            cv::v_store(px[x].val, v);
        }
    };
}

RowKernel correct_lens_vignetting(cv::Size size, float amount) {
    constexpr float kCornerGainPer100 = 0.5f;
    const float a = amount / 100.0f;
    return [size, a](int y, cv::Vec4f* px, int) {
        stage_math::radial_gain_row(size, y, px, [a](float r) { return 1.0f + kCornerGainPer100 * a * r * r; });
    };
}

RowKernel remove_fringes(float amount) {
    constexpr float kGreyThreshold = 1e-6f;
    constexpr stage_math::HueWindow kPurple{0.65f, 0.85f}, kGreen{0.25f, 0.4f};
    const float min_saturation = (1.0f - amount / 100.0f) * 0.5f;
    const float chroma_factor = 1.0f - amount / 200.0f;
    // Four pixels at a time, each lane as defringe_row treats a pixel.
    auto four = [=](lanes::V& r, lanes::V& g, lanes::V& b) {
        using namespace lanes;
        if (!pixel::all_finite(r, g, b)) return false;
        pixel::HslOf<V> hsl;
        V fringe = pixel::rgb_to_hsl(r, g, b, kGreyThreshold, hsl);
        auto within = [&](stage_math::HueWindow w) { return (hsl.h > all(w.lo)) & (hsl.h < all(w.hi)); };
        fringe = fringe & ((all(1.0f) - abs_of(all(2.0f) * hsl.l - all(1.0f))) != all(0.0f)) &
                 (hsl.s > all(min_saturation)) & (within(kPurple) | within(kGreen));
        if (!cv::v_check_any(fringe)) return true;
        hsl.s = hsl.s * all(chroma_factor);
        if (!pixel::hue_in_turn(hsl.h)) return false;
        V r2, g2, b2;
        pixel::hsl_to_rgb(hsl, r2, g2, b2);
        const V sum = r2 + g2 + b2;
        fringe = fringe & ((sum - sum) == all(0.0f));
        r = select(fringe, r2, r);
        g = select(fringe, g2, g);
        b = select(fringe, b2, b);
        return true;
    };
    return planar_kernel(four, [=](float& r, float& g, float& b) {
        cv::Vec4f px(r, g, b, 1.0f);
        stage_math::defringe_row(
            &px, 1, kGreyThreshold, kPurple, kGreen, [=](float s) { return s > min_saturation; },
            [=](float s) { return s * chroma_factor; });
        r = px[0];
        g = px[1];
        b = px[2];
    });
}

}  // namespace

void Pipeline::apply_lens_corrections(RowPass& pass, const EditParams& params) {
    const EditParams& p = params;
    const bool moves = lens_moves_pixels(lens_profile, p);
    if (!moves && !(p.ca_correction > 0.0f) && !(p.lens_vignette > 0.0f) && !(p.defringe > 0.0f)) return;
    if (pass.empty()) return;
    // Each step runs only for a finite value of its own setting.
    if (moves) {
        cv::Mat& image = pass.image();
        move_like_lens(image, scratch_.warp_spare(), lens_profile, p);
    }
    if (p.ca_correction > 0.0f && std::isfinite(p.ca_correction)) {
        // The kernel reads the image from memory the pass leaves alone and
        // writes every pixel into other memory: the spare.
        cv::Mat& image = pass.image();
        cv::Mat& spare = scratch_.warp_spare();
        create_image(spare, image.size(), CV_32FC4);
        cv::swap(image, spare);
        pass.add(correct_chromatic_aberration(spare, p.ca_correction));
    }
    if (p.lens_vignette > 0.0f && std::isfinite(p.lens_vignette))
        pass.add(correct_lens_vignetting(pass.size(), p.lens_vignette));
    if (p.defringe > 0.0f && std::isfinite(p.defringe)) pass.add(remove_fringes(p.defringe));
}

}  // namespace vornalix
