#pragma once
// Adaptive homogeneity-directed (AHD) demosaicing of a Bayer mosaic, giving
// LibRaw's AHD result pixel for pixel. LibRaw works tile by tile, one pixel
// and one function call at a time; this works down row bands across the
// thread pool, keeps only the few rows each step still needs, and converts
// to CIELab and weighs homogeneity four pixels at a time.

#include <cstdint>

namespace vornalix {

// A mosaic as LibRaw holds it between pre-interpolation and interpolation:
// four 16-bit samples per pixel, each site's own colour filled in, colours
// 0 red, 1 green, 2 blue laid out by LibRaw's `filters` code.
struct BayerMosaic {
    std::uint16_t (*pixels)[4];
    int width;
    int height;
    unsigned filters;
};

// LibRaw's CIELab tables for the mosaic's camera: cube roots of 0..65535
// scaled to 1, and camera RGB to XYZ relative to the D65 white.
struct LabTables {
    const float* cube_root;
    float xyz_cam[3][3];
};

// True for the usual 2x2 pattern, greens on one diagonal and red and blue
// on the other: the only one demosaic_ahd takes.
bool is_plain_bayer(unsigned filters);

// Fills the two missing colours of every pixel at least 5 pixels inside
// the edges; LibRaw's border interpolation serves the rest. Each pixel's own
// sample is only read, never written.
void demosaic_ahd(const BayerMosaic& mosaic, const LabTables& tables);

}  // namespace vornalix
