#include "pipeline/row_pass.h"

#include "image/image_memory.h"

#include <opencv2/core/hal/intrin.hpp>

#include <algorithm>
#include <vector>

namespace vornalix {

namespace {
// The same factors, in single precision, as the 16-bit <-> float conversions
// of the image buffer.
const float kFromSixteen = static_cast<float>(1.0 / 65535.0);
constexpr float kToSixteen = 65535.0f;
// saturate_cast<ushort>(v * 65535) of every sample, two pixels per step:
// rounding to nearest even and clamping to 0..65535 (NaN and values past
// the int range give 0), as the scalar cast does.
void to_sixteen(const cv::Vec4f* px, cv::Vec4w* out, int n) {
    const cv::v_float32x4 scale = cv::v_setall_f32(kToSixteen);
    int x = 0;
    for (; x + 2 <= n; x += 2) {
        const cv::v_int32x4 a = cv::v_round(cv::v_load(px[x].val) * scale);
        const cv::v_int32x4 b = cv::v_round(cv::v_load(px[x + 1].val) * scale);
        cv::v_store(out[x].val, cv::v_pack_u(a, b));
    }
    for (; x < n; ++x)
        for (int c = 0; c < 4; ++c) out[x][c] = cv::saturate_cast<ushort>(px[x][c] * kToSixteen);
}

}  // namespace

void for_each_band(int rows, const std::function<void(const cv::Range&)>& fn, int bands) {
    if (rows <= 0) return;
    cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& band) { fn(band); }, bands > 0 ? bands : -1.0);
}

int bands_per_thread() { return std::max(cv::getNumThreads(), 1); }

RowPass::RowPass(cv::Mat& working) : working_(working) {
    CV_Assert(working_.empty() || working_.type() == CV_32FC4);
}

RowPass::RowPass(const cv::Mat& source16, cv::Mat& working) : working_(working), source_(source16) {
    CV_Assert(source_.type() == CV_16UC4);
}

cv::Mat& RowPass::image() {
    run(nullptr);
    return working_;
}

// Runs the per-channel kernels at the head of the queue on every 16-bit value
// (a ramp through all of them in each colour channel) and returns how many
// there were; `table` holds the results, one pixel per value.
size_t RowPass::fold_into_table(cv::Mat& table) {
    size_t folded = 0;
    while (folded < pending_.size() && pending_[folded].kind == per_channel) ++folded;
    if (folded == 0) return 0;
    constexpr int kValues = 65536;
    table.create(1, kValues, CV_32FC4);
    auto* ramp = table.ptr<cv::Vec4f>(0);
    for (int i = 0; i < kValues; ++i) {
        const float v = static_cast<float>(i) * kFromSixteen;
        ramp[i] = cv::Vec4f(v, v, v, 1.0f);
    }
    for (size_t k = 0; k < folded; ++k) pending_[k].kernel(0, ramp, kValues);
    return folded;
}

void RowPass::run(cv::Mat* out16) {
    const bool convert_in = !source_.empty();
    if (pending_.empty() && !convert_in && !out16) return;
    // A render done in one pass (source in, result out) needs no float image:
    // each row is worked on in a small buffer. Later passes work in place,
    // which measures faster than copying their rows out.
    const bool keep = !(convert_in && out16);
    if (convert_in && keep) create_image(working_, source_.size(), CV_32FC4);
    const cv::Size size = this->size();
    if (out16) create_image(*out16, size, CV_16UC4);
    cv::Mat table;
    const size_t first = convert_in ? fold_into_table(table) : 0;
    for_each_band(size.height, [&](const cv::Range& band) {
        const int n = size.width;
        // Bands can be single rows: the buffer stays with the pool's thread.
        thread_local std::vector<cv::Vec4f> row;
        if (!keep && row.size() < static_cast<size_t>(n)) row.resize(n);
        for (int y = band.start; y < band.end; ++y) {
            cv::Vec4f* px = keep ? working_.ptr<cv::Vec4f>(y) : row.data();
            if (convert_in) {
                const auto* in = source_.ptr<cv::Vec4w>(y);
                if (first > 0) {
                    const auto* t = table.ptr<cv::Vec4f>(0);
                    for (int x = 0; x < n; ++x)
                        px[x] = cv::Vec4f(t[in[x][0]][0], t[in[x][1]][1], t[in[x][2]][2],
                                          static_cast<float>(in[x][3]) * kFromSixteen);
                } else {
                    for (int x = 0; x < n; ++x)
                        for (int c = 0; c < 4; ++c) px[x][c] = static_cast<float>(in[x][c]) * kFromSixteen;
                }
            }
            for (size_t k = first; k < pending_.size(); ++k) pending_[k].kernel(y, px, n);
            if (out16) to_sixteen(px, out16->ptr<cv::Vec4w>(y), n);
        }
    });
    pending_.clear();
    source_.release();
}

}  // namespace vornalix
