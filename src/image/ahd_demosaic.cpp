#include "image/ahd_demosaic.h"

#include <opencv2/core.hpp>
#include <opencv2/core/hal/intrin.hpp>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace vornalix {

namespace {

using Pixel = std::uint16_t[4];

// Rows of each intermediate kept at once: the green estimates of an output
// row reach 3 rows above and below it.
constexpr int kRing = 8;
// Columns past the width that the four-lane loops may touch (and fill with
// values nothing reads).
constexpr int kLanePad = 16;

// The colour of a site in LibRaw's `filters` code.
int colour_at(unsigned filters, int row, int col) {
    return static_cast<int>(filters >> ((((row << 1) & 14) | (col & 1)) << 1) & 3);
}

int clip16(int v) { return std::clamp(v, 0, 65535); }

// v limited to the range between two neighbours, in either order.
int between(int v, int a, int b) { return a < b ? std::clamp(v, a, b) : std::clamp(v, b, a); }

// The intermediates of both directions (0 horizontal, 1 vertical) for the
// rows around the output row, each row in ring slot `row % kRing`.
class Rows {
public:
    explicit Rows(int width) : stride_((width + kLanePad + 3) & ~3) {
        rgb_.resize(size_t(2 * 3 * kRing) * stride_);
        lab_.resize(size_t(2 * 3 * kRing) * stride_);
        homogeneity_.resize(size_t(2 * kRing) * stride_);
        column_sums_.resize(size_t(2) * stride_);
    }
    std::uint16_t* rgb(int d, int channel, int row) { return &rgb_[slot(d * 3 + channel, row)]; }
    std::int16_t* lab(int d, int channel, int row) { return &lab_[slot(d * 3 + channel, row)]; }
    std::int16_t* homogeneity(int d, int row) { return &homogeneity_[slot(d, row)]; }
    int* column_sums(int d) { return &column_sums_[size_t(d) * stride_]; }

private:
    size_t slot(int plane, int row) const { return (size_t(plane) * kRing + (row & (kRing - 1))) * stride_; }
    int stride_;
    std::vector<std::uint16_t> rgb_;
    std::vector<std::int16_t> lab_;
    std::vector<std::int16_t> homogeneity_;
    std::vector<int> column_sums_;
};

// Green at the red and blue sites of a row, estimated along the row (d 0)
// and down the column (d 1), each kept between its two green neighbours.
void estimate_green(const BayerMosaic& m, Rows& rows, int row) {
    const int w = m.width;
    const Pixel* line = m.pixels + size_t(row) * w;
    std::uint16_t* across = rows.rgb(0, 1, row);
    std::uint16_t* down = rows.rgb(1, 1, row);
    int x = 2 + (colour_at(m.filters, row, 2) & 1);
    const int c = colour_at(m.filters, row, x);
    for (; x < w - 2; x += 2) {
        const Pixel* p = line + x;
        const int h = ((p[-1][1] + p[0][c] + p[1][1]) * 2 - p[-2][c] - p[2][c]) >> 2;
        across[x] = static_cast<std::uint16_t>(between(h, p[-1][1], p[1][1]));
        const int v = ((p[-w][1] + p[0][c] + p[w][1]) * 2 - p[-2 * w][c] - p[2 * w][c]) >> 2;
        down[x] = static_cast<std::uint16_t>(between(v, p[-w][1], p[w][1]));
    }
}

// Red and blue of both directions' rows from the colour differences to
// their green estimates; each site keeps its own sample.
void estimate_red_blue(const BayerMosaic& m, Rows& rows, int row) {
    const int w = m.width;
    const Pixel* line = m.pixels + size_t(row) * w;
    const int own_colour[2] = {colour_at(m.filters, row, 0), colour_at(m.filters, row, 1)};
    const int vertical_colour[2] = {colour_at(m.filters, row + 1, 0), colour_at(m.filters, row + 1, 1)};
    const std::uint16_t* g_above[2] = {rows.rgb(0, 1, row - 1), rows.rgb(1, 1, row - 1)};
    const std::uint16_t* g_below[2] = {rows.rgb(0, 1, row + 1), rows.rgb(1, 1, row + 1)};
    std::uint16_t* out[2][3] = {{rows.rgb(0, 0, row), rows.rgb(0, 1, row), rows.rgb(0, 2, row)},
                                {rows.rgb(1, 0, row), rows.rgb(1, 1, row), rows.rgb(1, 2, row)}};
    for (int x = 3; x < w - 3; ++x) {
        const Pixel* p = line + x;
        const int own = own_colour[x & 1];
        if (own == 1) {
            const int vertical = vertical_colour[x & 1];
            const int horizontal = 2 - vertical;
            const int across = p[-1][horizontal] + p[1][horizontal], down = p[-w][vertical] + p[w][vertical];
            for (int d = 0; d < 2; ++d) {
                const std::uint16_t* g = out[d][1];
                out[d][horizontal][x] =
                    static_cast<std::uint16_t>(clip16(p[0][1] + ((across - g[x - 1] - g[x + 1]) >> 1)));
                out[d][vertical][x] =
                    static_cast<std::uint16_t>(clip16(p[0][1] + ((down - g_above[d][x] - g_below[d][x]) >> 1)));
            }
        } else {
            const int other = 2 - own;
            const int diagonal = p[-w - 1][other] + p[-w + 1][other] + p[w - 1][other] + p[w + 1][other];
            for (int d = 0; d < 2; ++d) {
                const int greens = g_above[d][x - 1] + g_above[d][x + 1] + g_below[d][x - 1] + g_below[d][x + 1];
                out[d][other][x] = static_cast<std::uint16_t>(clip16(out[d][1][x] + ((diagonal - greens + 1) >> 2)));
            }
        }
        out[0][own][x] = out[1][own][x] = p[0][own];
    }
}

// CIELab of one direction's row (scaled by 64, as 16-bit integers), with
// LibRaw's arithmetic: XYZ in single precision from 0.5, truncated to an
// index of the cube-root table.
void to_lab(const LabTables& t, Rows& rows, int d, int row, int width) {
    using namespace cv;
    const std::uint16_t* rgb[3] = {rows.rgb(d, 0, row), rows.rgb(d, 1, row), rows.rgb(d, 2, row)};
    std::int16_t* lab[3] = {rows.lab(d, 0, row), rows.lab(d, 1, row), rows.lab(d, 2, row)};
    const v_int32x4 zero = v_setzero_s32(), top = v_setall_s32(65535);
    for (int x = 3; x < width - 3; x += 4) {
        const v_float32x4 r = v_cvt_f32(v_reinterpret_as_s32(v_load_expand(rgb[0] + x)));
        const v_float32x4 g = v_cvt_f32(v_reinterpret_as_s32(v_load_expand(rgb[1] + x)));
        const v_float32x4 b = v_cvt_f32(v_reinterpret_as_s32(v_load_expand(rgb[2] + x)));
        v_float32x4 f[3];
        for (int i = 0; i < 3; ++i) {
            v_float32x4 xyz = v_setall_f32(0.5f);
            xyz = xyz + v_setall_f32(t.xyz_cam[i][0]) * r;
            xyz = xyz + v_setall_f32(t.xyz_cam[i][1]) * g;
            xyz = xyz + v_setall_f32(t.xyz_cam[i][2]) * b;
            f[i] = v_lut(t.cube_root, v_min(v_max(v_trunc(xyz), zero), top));
        }
        const v_float32x4 l = v_setall_f32(64.0f) * (v_setall_f32(116.0f) * f[1] - v_setall_f32(16.0f));
        v_pack_store(lab[0] + x, v_trunc(l));
        v_pack_store(lab[1] + x, v_trunc(v_setall_f32(64.0f * 500.0f) * (f[0] - f[1])));
        v_pack_store(lab[2] + x, v_trunc(v_setall_f32(64.0f * 200.0f) * (f[1] - f[2])));
    }
}

// For each direction, how many of a site's four neighbours differ from it
// by no more than the smaller of the two directions' largest differences
// along themselves, in lightness and in colour alike. This is the rule in
// 32 bits, for one site.
void homogeneity_at(Rows& rows, int row, int x) {
    unsigned l_diff[2][4], ab_diff[2][4];
    for (int d = 0; d < 2; ++d) {
        const std::int16_t* here[3] = {rows.lab(d, 0, row) + x, rows.lab(d, 1, row) + x, rows.lab(d, 2, row) + x};
        for (int i = 0; i < 4; ++i) {
            const int dy = i < 2 ? 0 : i == 2 ? -1 : 1, dx = i == 0 ? -1 : i == 1 ? 1 : 0;
            int diff[3];
            for (int c = 0; c < 3; ++c) diff[c] = here[c][0] - rows.lab(d, c, row + dy)[x + dx];
            l_diff[d][i] = static_cast<unsigned>(std::abs(diff[0]));
            ab_diff[d][i] = unsigned(diff[1]) * unsigned(diff[1]) + unsigned(diff[2]) * unsigned(diff[2]);
        }
    }
    const unsigned l_eps = std::min(std::max(l_diff[0][0], l_diff[0][1]), std::max(l_diff[1][2], l_diff[1][3]));
    const unsigned ab_eps = std::min(std::max(ab_diff[0][0], ab_diff[0][1]), std::max(ab_diff[1][2], ab_diff[1][3]));
    for (int d = 0; d < 2; ++d) {
        int count = 0;
        for (int i = 0; i < 4; ++i) count += l_diff[d][i] <= l_eps && ab_diff[d][i] <= ab_eps;
        rows.homogeneity(d, row)[x] = static_cast<std::int16_t>(count);
    }
}

// The same rule eight sites at a time in 16 bits. Lightness (0..6400) and
// blue-yellow differences always fit; the rare block whose red-green
// difference does not takes the 32-bit rule.
void measure_homogeneity(Rows& rows, int row, int width) {
    using namespace cv;
    for (int x = 4; x < width - 4; x += 8) {
        v_uint16x8 l_diff[2][4];
        v_int32x4 ab_diff[2][4][2];
        v_int16x8 overflow = v_setzero_s16();
        for (int d = 0; d < 2; ++d) {
            const std::int16_t* here[3];
            const std::int16_t* near[4][3];
            for (int c = 0; c < 3; ++c) {
                here[c] = rows.lab(d, c, row) + x;
                near[0][c] = here[c] - 1;
                near[1][c] = here[c] + 1;
                near[2][c] = rows.lab(d, c, row - 1) + x;
                near[3][c] = rows.lab(d, c, row + 1) + x;
            }
            const v_int16x8 l = v_load(here[0]), a = v_load(here[1]), b = v_load(here[2]);
            for (int i = 0; i < 4; ++i) {
                l_diff[d][i] = v_absdiff(l, v_load(near[i][0]));
                const v_int16x8 a_near = v_load(near[i][1]), b_near = v_load(near[i][2]);
                const v_int16x8 da = v_sub_wrap(a, a_near), db = v_sub_wrap(b, b_near);
                overflow = overflow | (da != a - a_near) | (db != b - b_near);  // the latter saturate
                v_int16x8 first, second;
                v_zip(da, db, first, second);
                ab_diff[d][i][0] = v_dotprod(first, first);
                ab_diff[d][i][1] = v_dotprod(second, second);
            }
        }
        if (v_check_any(overflow)) {
            for (int k = 0; k < 8; ++k) homogeneity_at(rows, row, x + k);
            continue;
        }
        const v_uint16x8 l_eps = v_min(v_max(l_diff[0][0], l_diff[0][1]), v_max(l_diff[1][2], l_diff[1][3]));
        v_int32x4 ab_eps[2];
        for (int half = 0; half < 2; ++half)
            ab_eps[half] = v_min(v_max(ab_diff[0][0][half], ab_diff[0][1][half]),
                                 v_max(ab_diff[1][2][half], ab_diff[1][3][half]));
        for (int d = 0; d < 2; ++d) {
            v_int16x8 count = v_setzero_s16();
            for (int i = 0; i < 4; ++i) {
                const v_int16x8 ab_within = v_pack(ab_diff[d][i][0] <= ab_eps[0], ab_diff[d][i][1] <= ab_eps[1]);
                count = count - (v_reinterpret_as_s16(l_diff[d][i] <= l_eps) & ab_within);
            }
            v_store(rows.homogeneity(d, row) + x, count);
        }
    }
}

// The output row: at each site the direction whose 3x3 neighbourhood is
// more homogeneous, or the mean of both on a tie; the site's own sample
// is left alone.
void combine(const BayerMosaic& m, Rows& rows, int row) {
    const int w = m.width;
    for (int d = 0; d < 2; ++d) {
        const std::int16_t *above = rows.homogeneity(d, row - 1), *here = rows.homogeneity(d, row),
                           *below = rows.homogeneity(d, row + 1);
        int* sums = rows.column_sums(d);
        for (int x = 4; x < w - 4; ++x) sums[x] = above[x] + here[x] + below[x];
    }
    const int* sums[2] = {rows.column_sums(0), rows.column_sums(1)};
    const std::uint16_t* rgb[2][3];
    for (int d = 0; d < 2; ++d)
        for (int c = 0; c < 3; ++c) rgb[d][c] = rows.rgb(d, c, row);
    Pixel* line = m.pixels + size_t(row) * w;
    for (int x = 5; x < w - 5; ++x) {
        const int across = sums[0][x - 1] + sums[0][x] + sums[0][x + 1];
        const int down = sums[1][x - 1] + sums[1][x] + sums[1][x + 1];
        const int own = colour_at(m.filters, row, x);
        for (int c = 0; c < 3; ++c) {
            if (c == own) continue;
            line[x][c] = across != down ? rgb[down > across][c][x]
                                        : static_cast<std::uint16_t>((rgb[0][c][x] + rgb[1][c][x]) >> 1);
        }
    }
}

// Output rows [first, last): each step runs just far enough ahead of the
// next to feed it.
void demosaic_rows(const BayerMosaic& m, const LabTables& t, int first, int last) {
    const int h = m.height;
    Rows rows(m.width);
    int green = std::max(2, first - 3), red_blue = std::max(3, first - 2), homogeneity = std::max(4, first - 1);
    for (int y = first; y < last; ++y) {
        for (; green <= y + 3 && green < h - 2; ++green) estimate_green(m, rows, green);
        for (; red_blue <= y + 2 && red_blue < h - 3; ++red_blue) {
            estimate_red_blue(m, rows, red_blue);
            for (int d = 0; d < 2; ++d) to_lab(t, rows, d, red_blue, m.width);
        }
        for (; homogeneity <= y + 1 && homogeneity < h - 4; ++homogeneity)
            measure_homogeneity(rows, homogeneity, m.width);
        combine(m, rows, y);
    }
}

}  // namespace

bool is_plain_bayer(unsigned filters) {
    for (int row = 2; row < 8; ++row)
        for (int col = 0; col < 2; ++col)
            if (colour_at(filters, row, col) != colour_at(filters, row % 2, col)) return false;
    const int a = colour_at(filters, 0, 0), b = colour_at(filters, 0, 1);
    const int c = colour_at(filters, 1, 0), d = colour_at(filters, 1, 1);
    const auto red_and_blue = [](int x, int y) { return (x == 0 && y == 2) || (x == 2 && y == 0); };
    return (a == 1 && d == 1 && red_and_blue(b, c)) || (b == 1 && c == 1 && red_and_blue(a, d));
}

void demosaic_ahd(const BayerMosaic& mosaic, const LabTables& tables) {
    const int first = 5, last = mosaic.height - 5;
    if (last <= first || mosaic.width <= 10) return;
    // One band per thread: each band's first rows repeat its neighbour's
    // last few estimates, so fewer bands repeat less.
    cv::parallel_for_(cv::Range(first, last),
                      [&](const cv::Range& band) { demosaic_rows(mosaic, tables, band.start, band.end); },
                      cv::getNumThreads());
}

}  // namespace vornalix
