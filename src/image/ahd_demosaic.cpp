#include "image/ahd_demosaic.h"

#include <opencv2/core.hpp>
#include <opencv2/core/hal/intrin.hpp>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace vornalix {

namespace {

using Pixel = std::uint16_t[4];

// Rows of each intermediate kept at once: at a band's start the sites read
// reach from 3 rows above its first output row to 5 below.
constexpr int kRing = 16;
// Columns past the width that the four-lane loops may touch (and fill with
// values nothing reads).
constexpr int kLanePad = 16;

// The colour of a site in LibRaw's `filters` code.
int colour_at(unsigned filters, int row, int col) {
    return static_cast<int>(filters >> ((((row << 1) & 14) | (col & 1)) << 1) & 3);
}

// The intermediates of both directions (0 horizontal, 1 vertical) for the
// rows around the output row, each row in ring slot `row % kRing`, and each
// mosaic row's own samples, one per site.
class Rows {
public:
    explicit Rows(int width) : stride_((width + kLanePad + 7) & ~7) {
        sites_.resize(size_t(kRing) * stride_);
        rgb_.resize(size_t(2 * 3 * kRing) * stride_);
        lab_.resize(size_t(2 * 3 * kRing) * stride_);
        homogeneity_.resize(size_t(2 * kRing) * stride_);
        column_sums_.resize(size_t(2) * stride_);
        combined_.resize(size_t(3) * stride_);
    }
    std::uint16_t* sites(int row) { return &sites_[slot(0, row)]; }
    std::uint16_t* rgb(int d, int channel, int row) { return &rgb_[slot(d * 3 + channel, row)]; }
    std::int16_t* lab(int d, int channel, int row) { return &lab_[slot(d * 3 + channel, row)]; }
    std::int16_t* homogeneity(int d, int row) { return &homogeneity_[slot(d, row)]; }
    std::int16_t* column_sums(int d) { return &column_sums_[size_t(d) * stride_]; }
    std::uint16_t* combined(int channel) { return &combined_[size_t(channel) * stride_]; }

private:
    size_t slot(int plane, int row) const { return (size_t(plane) * kRing + (row & (kRing - 1))) * stride_; }
    int stride_;
    std::vector<std::uint16_t> sites_;
    std::vector<std::uint16_t> rgb_;
    std::vector<std::int16_t> lab_;
    std::vector<std::int16_t> homogeneity_;
    std::vector<std::int16_t> column_sums_;
    std::vector<std::uint16_t> combined_;
};

// Four 16-bit samples as 32-bit lanes.
cv::v_int32x4 load4(const std::uint16_t* p) { return cv::v_reinterpret_as_s32(cv::v_load_expand(p)); }

// Each site's own sample of a mosaic row: every estimate reads only these.
void gather_sites(const BayerMosaic& m, Rows& rows, int row) {
    const Pixel* line = m.pixels + size_t(row) * m.width;
    const int colour[2] = {colour_at(m.filters, row, 0), colour_at(m.filters, row, 1)};
    std::uint16_t* out = rows.sites(row);
    for (int x = 0; x < m.width; ++x) out[x] = line[x][colour[x & 1]];
}

// Green at the red and blue sites of a row, estimated along the row (d 0)
// and down the column (d 1), each kept between its two green neighbours.
// Lanes at green sites get values nothing reads: estimate_red_blue puts
// the site's own green there.
void estimate_green(Rows& rows, int row, int width) {
    using namespace cv;
    const std::uint16_t *here = rows.sites(row), *above = rows.sites(row - 1), *below = rows.sites(row + 1),
                        *above2 = rows.sites(row - 2), *below2 = rows.sites(row + 2);
    std::uint16_t* out[2] = {rows.rgb(0, 1, row), rows.rgb(1, 1, row)};
    for (int x = 2; x < width - 2; x += 4) {
        const v_int32x4 own = load4(here + x);
        const v_int32x4 neighbours[2][2] = {{load4(here + x - 1), load4(here + x + 1)},
                                            {load4(above + x), load4(below + x)}};
        const v_int32x4 beyond[2] = {load4(here + x - 2) + load4(here + x + 2), load4(above2 + x) + load4(below2 + x)};
        for (int d = 0; d < 2; ++d) {
            const v_int32x4 &a = neighbours[d][0], &b = neighbours[d][1];
            const v_int32x4 estimate = v_shr<2>(v_shl<1>(a + own + b) - beyond[d]);
            v_pack_u_store(out[d] + x, v_max(v_min(a, b), v_min(estimate, v_max(a, b))));
        }
    }
}

// Red and blue of both directions' rows from the colour differences to
// their green estimates; each site keeps its own sample.
void estimate_red_blue(const BayerMosaic& m, Rows& rows, int row, int width) {
    using namespace cv;
    // Lanes start at odd columns: lanes 0 and 2 have the colour of column 1.
    const bool odd_green = colour_at(m.filters, row, 1) == 1;
    const v_int32x4 green_site = odd_green ? v_int32x4(-1, 0, -1, 0) : v_int32x4(0, -1, 0, -1);
    const int row_colour = colour_at(m.filters, row, odd_green ? 0 : 1), other_colour = 2 - row_colour;
    const std::uint16_t *here = rows.sites(row), *above = rows.sites(row - 1), *below = rows.sites(row + 1);
    for (int x = 3; x < width - 3; x += 4) {
        const v_int32x4 own = load4(here + x);
        const v_int32x4 across = load4(here + x - 1) + load4(here + x + 1);
        const v_int32x4 down = load4(above + x) + load4(below + x);
        const v_int32x4 diagonal =
            load4(above + x - 1) + load4(above + x + 1) + load4(below + x - 1) + load4(below + x + 1);
        for (int d = 0; d < 2; ++d) {
            const std::uint16_t *g = rows.rgb(d, 1, row), *g_above = rows.rgb(d, 1, row - 1),
                                *g_below = rows.rgb(d, 1, row + 1);
            const v_int32x4 green = load4(g + x);
            const v_int32x4 row_at_green = own + v_shr<1>(across - load4(g + x - 1) - load4(g + x + 1));
            const v_int32x4 other_at_green = own + v_shr<1>(down - load4(g_above + x) - load4(g_below + x));
            const v_int32x4 green_diagonal =
                load4(g_above + x - 1) + load4(g_above + x + 1) + load4(g_below + x - 1) + load4(g_below + x + 1);
            const v_int32x4 other_at_colour = green + v_shr<2>(diagonal - green_diagonal + v_setall_s32(1));
            v_pack_u_store(rows.rgb(d, row_colour, row) + x, v_select(green_site, row_at_green, own));
            v_pack_u_store(rows.rgb(d, other_colour, row) + x, v_select(green_site, other_at_green, other_at_colour));
            v_pack_u_store(rows.rgb(d, 1, row) + x, v_select(green_site, own, green));
        }
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
        const v_float32x4 r = v_cvt_f32(load4(rgb[0] + x)), g = v_cvt_f32(load4(rgb[1] + x)),
                          b = v_cvt_f32(load4(rgb[2] + x));
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
    using namespace cv;
    const int w = m.width;
    for (int d = 0; d < 2; ++d) {
        const std::int16_t *above = rows.homogeneity(d, row - 1), *here = rows.homogeneity(d, row),
                           *below = rows.homogeneity(d, row + 1);
        std::int16_t* sums = rows.column_sums(d);
        for (int x = 4; x < w - 4; x += 8) v_store(sums + x, v_load(above + x) + v_load(here + x) + v_load(below + x));
    }
    const std::int16_t *across_sums = rows.column_sums(0), *down_sums = rows.column_sums(1);
    const v_uint16x8 one = v_setall_u16(1);
    for (int x = 5; x < w - 5; x += 8) {
        const v_int16x8 across = v_load(across_sums + x - 1) + v_load(across_sums + x) + v_load(across_sums + x + 1);
        const v_int16x8 down = v_load(down_sums + x - 1) + v_load(down_sums + x) + v_load(down_sums + x + 1);
        const v_uint16x8 differ = v_reinterpret_as_u16(across != down), down_wins = v_reinterpret_as_u16(down > across);
        for (int c = 0; c < 3; ++c) {
            const v_uint16x8 a = v_load(rows.rgb(0, c, row) + x), b = v_load(rows.rgb(1, c, row) + x);
            const v_uint16x8 mean = v_shr<1>(a) + v_shr<1>(b) + (a & b & one);
            v_store(rows.combined(c) + x, v_select(differ, v_select(down_wins, b, a), mean));
        }
    }
    const std::uint16_t* combined[3] = {rows.combined(0), rows.combined(1), rows.combined(2)};
    const int colour[2] = {colour_at(m.filters, row, 0), colour_at(m.filters, row, 1)};
    Pixel* line = m.pixels + size_t(row) * w;
    for (int x = 5; x < w - 5; ++x) {
        const int own = colour[x & 1];
        for (int c = 0; c < 3; ++c)
            if (c != own) line[x][c] = combined[c][x];
    }
}

// Output rows [first, last): each step runs just far enough ahead of the
// next to feed it.
void demosaic_rows(const BayerMosaic& m, const LabTables& t, int first, int last) {
    const int h = m.height;
    Rows rows(m.width);
    int sites = std::max(0, first - 5), green = std::max(2, first - 3);
    int red_blue = std::max(3, first - 2), homogeneity = std::max(4, first - 1);
    for (int y = first; y < last; ++y) {
        for (; green <= y + 3 && green < h - 2; ++green) {
            for (; sites <= green + 2; ++sites) gather_sites(m, rows, sites);
            estimate_green(rows, green, m.width);
        }
        for (; red_blue <= y + 2 && red_blue < h - 3; ++red_blue) {
            estimate_red_blue(m, rows, red_blue, m.width);
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
