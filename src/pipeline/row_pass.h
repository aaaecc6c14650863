#pragma once
// Runs the per-pixel stages of a render together. Kernels added in stage
// order are held back and run in one pass over bands of rows, in parallel on
// OpenCV's pool, so the image crosses memory once for a whole run of them; a
// stage that needs a pixel's neighbourhood asks for image(), which runs what
// is pending first. The 16-bit source and result conversions join the first
// and last runs. A source channel takes one of 65,536 values, so per-channel
// kernels at the head of the first run are computed once for every value
// (by the same kernels, on a ramp) and read from that table. A kernel that
// reads the image blurred gets its blurred rows band by band, each band
// blurred from its own rows and the few around it, so a pass holding such
// kernels never makes a whole blurred copy and, from the source to the
// result, no float image at all.

#include <opencv2/core.hpp>

#include <functional>
#include <mutex>
#include <vector>

namespace vornalix {

// Transforms the n pixels of row y in place (R, G, B, A floats). Called from
// several threads at once on different rows: it must not change its captures.
using RowKernel = std::function<void(int y, cv::Vec4f* px, int n)>;
// The same, given also the colour of row y blurred as the kernels before it
// leave the image (alpha is not blurred). Each row of `blurred` may be read
// four floats at a time: one more float follows its last pixel.
using BlurredRowKernel = std::function<void(int y, cv::Vec4f* px, const cv::Vec3f* blurred, int n)>;

// The buffers a pass with blurred kernels works its bands in, one set for
// each chunk of rows. Kept from one render to the next, they are not mapped
// and cleared afresh each time.
struct BandBuffers {
    std::vector<cv::Mat> band, colour, blurred;
};

// Calls fn on bands of rows [0, rows) in parallel. `bands` of 0 lets OpenCV
// choose; work whose bands overlap (a wide blur reads far past its band's
// edges) asks for as few bands as there are threads.
void for_each_band(int rows, const std::function<void(const cv::Range&)>& fn, int bands = 0);
// One band per thread of OpenCV's pool.
int bands_per_thread();
// A reduction over rows [0, rows): part(band) on one band per thread, in
// parallel, and merge(what it returned) for each band, one at a time.
template <class Part, class Merge>
void for_each_band_merged(int rows, Part part, Merge merge) {
    std::mutex merging;
    for_each_band(rows, [&](const cv::Range& band) {
        auto result = part(band);
        const std::lock_guard<std::mutex> lock(merging);
        merge(result);
    }, bands_per_thread());
}

class RowPass {
public:
    // A pass over a float R, G, B, A image that is already there.
    explicit RowPass(cv::Mat& working);
    // A pass that starts from a 16-bit R, G, B, A source: `working` gets the
    // source's size (keeping its storage when that fits) and is filled on the
    // first run, unless that run also writes the result (a one-pass render).
    RowPass(const cv::Mat& source16, cv::Mat& working, BandBuffers* buffers = nullptr);

    bool empty() const { return size().area() == 0; }
    cv::Size size() const { return source_.empty() ? working_.size() : source_.size(); }

    // How a kernel treats a pixel: `per_channel` kernels compute each colour
    // channel from that channel alone (a table could stand for them).
    enum Kind { mixing, per_channel };
    // Queues a kernel behind the pending ones.
    void add(RowKernel kernel, Kind kind = mixing) { pending_.push_back({std::move(kernel), kind, {}, {}, 0.0, 0}); }
    // Queues a kernel reading the image blurred with a Gaussian: `kernel` and
    // `sigma` as cv::GaussianBlur takes them, borders reflected (the values
    // stage_math::gaussian_blur gives).
    void add_blurred(cv::Size kernel, double sigma, BlurredRowKernel blurred_kernel);
    // Runs what is pending and returns the float image.
    cv::Mat& image();
    // Runs what is pending; with `out16`, writes the 16-bit result in the same
    // pass (a one-pass render leaves the float image as it was).
    void finish() { run(nullptr); }
    void finish(cv::Mat& out16) { run(&out16); }

private:
    struct Pending {
        RowKernel kernel;
        Kind kind;
        BlurredRowKernel blurred;  // set for a kernel reading the blurred image
        cv::Size blur_kernel;
        double sigma = 0.0;
        int reach = 0;  // rows the blur reads above and below
    };
    void run(cv::Mat* out16);
    size_t fold_into_table(cv::Mat& table);
    void load_row(int y, cv::Vec4f* px, const cv::Mat& table, bool from_table) const;
    void run_in_bands(cv::Mat* out16, size_t first, const cv::Mat& table);
    void run_chunk(const cv::Range& chunk, int reach, cv::Mat* out16, size_t first, const cv::Mat& table,
                   const cv::Mat& above, const cv::Mat& below, cv::Mat& buffer, cv::Mat& colour, cv::Mat& blurred);

    cv::Mat& working_;
    cv::Mat source_;  // 16-bit source still to be converted, or empty
    std::vector<Pending> pending_;
    BandBuffers* buffers_ = nullptr;  // or null: each run makes its own
};

}  // namespace vornalix
