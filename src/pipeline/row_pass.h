#pragma once
// Runs the per-pixel stages of a render together. Kernels added in stage
// order are held back and run in one pass over bands of rows, in parallel on
// OpenCV's pool, so the image crosses memory once for a whole run of them; a
// stage that needs a pixel's neighbourhood asks for image(), which runs what
// is pending first. The 16-bit source and result conversions join the first
// and last runs. A source channel takes one of 65,536 values, so per-channel
// kernels at the head of the first run are computed once for every value
// (by the same kernels, on a ramp) and read from that table.

#include <opencv2/core.hpp>

#include <functional>
#include <vector>

namespace vornalix {

// Transforms the n pixels of row y in place (R, G, B, A floats). Called from
// several threads at once on different rows: it must not change its captures.
using RowKernel = std::function<void(int y, cv::Vec4f* px, int n)>;

// Calls fn on bands of rows [0, rows) in parallel. `bands` of 0 lets OpenCV
// choose; work whose bands overlap (a wide blur reads far past its band's
// edges) asks for as few bands as there are threads.
void for_each_band(int rows, const std::function<void(const cv::Range&)>& fn, int bands = 0);
// One band per thread of OpenCV's pool.
int bands_per_thread();

class RowPass {
public:
    // A pass over a float R, G, B, A image that is already there.
    explicit RowPass(cv::Mat& working);
    // A pass that starts from a 16-bit R, G, B, A source: `working` gets the
    // source's size (keeping its storage when that fits) and is filled on the
    // first run, unless that run also writes the result (a one-pass render).
    RowPass(const cv::Mat& source16, cv::Mat& working);

    bool empty() const { return size().area() == 0; }
    cv::Size size() const { return source_.empty() ? working_.size() : source_.size(); }

    // How a kernel treats a pixel: `per_channel` kernels compute each colour
    // channel from that channel alone (a table could stand for them).
    enum Kind { mixing, per_channel };
    // Queues a kernel behind the pending ones.
    void add(RowKernel kernel, Kind kind = mixing) { pending_.push_back({std::move(kernel), kind}); }
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
    };
    void run(cv::Mat* out16);
    size_t fold_into_table(cv::Mat& table);

    cv::Mat& working_;
    cv::Mat source_;  // 16-bit source still to be converted, or empty
    std::vector<Pending> pending_;
};

}  // namespace vornalix
