#include "pipeline/row_pass.h"

#include "image/image_memory.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

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

// Rows a Gaussian reads above and below a pixel: half the kernel height
// cv::GaussianBlur takes, or derives from sigma for float data.
int blur_reach(cv::Size kernel, double sigma) {
    const int k = kernel.height > 0 ? kernel.height : (cvRound(sigma * 8 + 1) | 1);
    return k / 2;
}

// Rows per band of a pass with blurred kernels: each band is worked with
// the blurs' reach more on either side, which this keeps to a fraction of it.
constexpr int kMinBandRows = 64;
constexpr int kBandRowsPerReach = 4;

}  // namespace

void for_each_band(int rows, const std::function<void(const cv::Range&)>& fn, int bands) {
    if (rows <= 0) return;
    cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& band) { fn(band); }, bands > 0 ? bands : -1.0);
}

int bands_per_thread() { return std::max(cv::getNumThreads(), 1); }

RowPass::RowPass(cv::Mat& working) : working_(working) {
    CV_Assert(working_.empty() || working_.type() == CV_32FC4);
}

RowPass::RowPass(const cv::Mat& source16, cv::Mat& working, BandBuffers* buffers)
    : working_(working), source_(source16), buffers_(buffers) {
    CV_Assert(source_.type() == CV_16UC4);
}

void RowPass::add_blurred(cv::Size kernel, double sigma, BlurredRowKernel blurred_kernel) {
    pending_.push_back({nullptr, mixing, std::move(blurred_kernel), kernel, sigma, blur_reach(kernel, sigma)});
}

cv::Mat& RowPass::image() {
    run(nullptr);
    return working_;
}

// Runs the per-channel kernels at the head of the queue on every 16-bit value
// (a ramp through all of them in each colour channel) and returns how many
// there were; `table` holds the results, a row of 65,536 values per colour
// channel (a pixel's three lookups then share cache lines with its
// neighbours' far more often than in a table of whole pixels).
size_t RowPass::fold_into_table(cv::Mat& table) {
    size_t folded = 0;
    while (folded < pending_.size() && pending_[folded].kind == per_channel) ++folded;
    if (folded == 0) return 0;
    constexpr int kValues = 65536;
    cv::Mat ramp(1, kValues, CV_32FC4);
    auto* px = ramp.ptr<cv::Vec4f>(0);
    for (int i = 0; i < kValues; ++i) {
        const float v = static_cast<float>(i) * kFromSixteen;
        px[i] = cv::Vec4f(v, v, v, 1.0f);
    }
    for (size_t k = 0; k < folded; ++k) pending_[k].kernel(0, px, kValues);
    table.create(3, kValues, CV_32F);
    for (int c = 0; c < 3; ++c) cv::extractChannel(ramp, table.row(c), c);
    return folded;
}

void RowPass::load_row(int y, cv::Vec4f* px, const cv::Mat& table, bool from_table) const {
    const int n = source_.cols;
    const auto* in = source_.ptr<cv::Vec4w>(y);
    if (from_table) {
        const float *r = table.ptr<float>(0), *g = table.ptr<float>(1), *b = table.ptr<float>(2);
        for (int x = 0; x < n; ++x)
            px[x] = cv::Vec4f(r[in[x][0]], g[in[x][1]], b[in[x][2]], static_cast<float>(in[x][3]) * kFromSixteen);
    } else {
        for (int x = 0; x < n; ++x)
            for (int c = 0; c < 4; ++c) px[x][c] = static_cast<float>(in[x][c]) * kFromSixteen;
    }
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
    const bool blurs =
        std::any_of(pending_.begin() + first, pending_.end(), [](const Pending& p) { return p.blurred != nullptr; });
    if (blurs) {
        run_in_bands(out16, first, table);
    } else {
        for_each_band(size.height, [&](const cv::Range& band) {
            const int n = size.width;
            // Bands can be single rows: the buffer stays with the pool's thread.
            thread_local std::vector<cv::Vec4f> row;
            if (!keep && row.size() < static_cast<size_t>(n)) row.resize(n);
            for (int y = band.start; y < band.end; ++y) {
                cv::Vec4f* px = keep ? working_.ptr<cv::Vec4f>(y) : row.data();
                if (convert_in) load_row(y, px, table, first > 0);
                for (size_t k = first; k < pending_.size(); ++k) pending_[k].kernel(y, px, n);
                if (out16) to_sixteen(px, out16->ptr<cv::Vec4w>(y), n);
            }
        });
    }
    pending_.clear();
    source_.release();
}

// One chunk of rows per thread, each worked band by band in buffers of its
// own. A pass over the float image rewrites it in place, so the rows a chunk
// reads from its neighbours are copied first.
void RowPass::run_in_bands(cv::Mat* out16, size_t first, const cv::Mat& table) {
    int reach = 0;
    for (size_t k = first; k < pending_.size(); ++k) reach += pending_[k].reach;
    const int rows = size().height;
    const int chunks = std::min(bands_per_thread(), rows);
    const auto chunk = [&](int i) { return cv::Range(rows * i / chunks, rows * (i + 1) / chunks); };
    std::vector<cv::Mat> above(chunks), below(chunks);
    if (source_.empty())
        for (int i = 0; i < chunks; ++i) {
            const cv::Range r = chunk(i);
            above[i] = working_.rowRange(std::max(0, r.start - reach), r.start).clone();
            below[i] = working_.rowRange(r.end, std::min(rows, r.end + reach)).clone();
        }
    BandBuffers own;
    BandBuffers& buffers = buffers_ ? *buffers_ : own;
    for (std::vector<cv::Mat>* set : {&buffers.band, &buffers.colour, &buffers.blurred}) set->resize(chunks);
    cv::parallel_for_(cv::Range(0, chunks), [&](const cv::Range& range) {
        for (int i = range.start; i < range.end; ++i)
            run_chunk(chunk(i), reach, out16, first, table, above[i], below[i], buffers.band[i], buffers.colour[i],
                      buffers.blurred[i]);
    }, chunks);
}

void RowPass::run_chunk(const cv::Range& chunk, int reach, cv::Mat* out16, size_t first, const cv::Mat& table,
                        const cv::Mat& above, const cv::Mat& below, cv::Mat& buffer, cv::Mat& colour,
                        cv::Mat& blurred) {
    const int width = size().width, rows = size().height;
    const bool keep = source_.empty() || !out16;
    const int band_rows = std::max(kMinBandRows, kBandRowsPerReach * reach);
    const int buffer_rows = std::min(band_rows, chunk.size()) + 2 * reach;
    create_image(buffer, cv::Size(width, buffer_rows), CV_32FC4);
    create_image(colour, cv::Size(width, buffer_rows), CV_32FC3);
    create_image(blurred, cv::Size(width, buffer_rows + 1), CV_32FC3);  // a row more: kernels read past a row's end
    cv::Mat carry;  // the rows above a band, as they were before it was rewritten
    // Row y of the pass's input as it was before the pass.
    const auto load = [&](int y, int band_start, cv::Vec4f* px) {
        if (!source_.empty()) return load_row(y, px, table, first > 0);
        const cv::Vec4f* from = y < chunk.start  ? above.ptr<cv::Vec4f>(y - chunk.start + above.rows)
                                : y >= chunk.end ? below.ptr<cv::Vec4f>(y - chunk.end)
                                : y < band_start ? carry.ptr<cv::Vec4f>(y - band_start + carry.rows)
                                                 : working_.ptr<cv::Vec4f>(y);
        std::copy(from, from + width, px);
    };
    const auto next_blurred = [&](size_t k) {
        while (k < pending_.size() && !pending_[k].blurred) ++k;
        return k;
    };
    for (int start = chunk.start; start < chunk.end; start += band_rows) {
        const int end = std::min(chunk.end, start + band_rows);
        const int lo = std::max(0, start - reach), hi = std::min(rows, end + reach);
        // Headers of exactly these rows: a blur at the image's edge reflects there.
        cv::Mat band(hi - lo, width, CV_32FC4, buffer.data);
        cv::Mat band_colour(hi - lo, width, CV_32FC3, colour.data);
        size_t k = next_blurred(first);
        for (int y = lo; y < hi; ++y) {
            cv::Vec4f* px = band.ptr<cv::Vec4f>(y - lo);
            load(y, start, px);
            for (size_t j = first; j < k; ++j) pending_[j].kernel(y, px, width);
        }
        // Each blur reads the rows the one before it left valid, `reach` rows fewer each side.
        int left = reach;
        while (k < pending_.size()) {
            const Pending& blur = pending_[k];
            left -= blur.reach;
            const int from = std::max(0, start - left), to = std::min(rows, end + left);
            // Only the colour is blurred, from the rows the blur reads.
            const cv::Range read(std::max(lo, from - blur.reach), std::min(hi, to + blur.reach));
            cv::Mat read_colour = band_colour.rowRange(read - lo);
            cv::cvtColor(band.rowRange(read - lo), read_colour, cv::COLOR_BGRA2BGR);
            cv::Mat out = blurred.rowRange(0, to - from);
            cv::GaussianBlur(band_colour.rowRange(from - lo, to - lo), out, blur.blur_kernel, blur.sigma, 0.0,
                             cv::BORDER_REFLECT_101);
            const size_t next = next_blurred(k + 1);
            for (int y = from; y < to; ++y) {
                cv::Vec4f* px = band.ptr<cv::Vec4f>(y - lo);
                blur.blurred(y, px, out.ptr<cv::Vec3f>(y - from), width);
                for (size_t j = k + 1; j < next; ++j) pending_[j].kernel(y, px, width);
            }
            k = next;
        }
        if (source_.empty()) carry = working_.rowRange(std::max(chunk.start, end - reach), end).clone();
        for (int y = start; y < end; ++y) {
            const cv::Vec4f* px = band.ptr<cv::Vec4f>(y - lo);
            if (keep) std::copy(px, px + width, working_.ptr<cv::Vec4f>(y));
            if (out16) to_sixteen(px, out16->ptr<cv::Vec4w>(y), width);
        }
    }
}

}  // namespace vornalix
