#pragma once
// The object behind every C handle: one photograph, its settings, its
// renderings, its subject mask and the text of its last failure.

#include "settings/edit_params.h"
#include "image/arw_decoder.h"
#include "pipeline/pipeline.h"

#include <opencv2/core.hpp>

#include <string>

struct VornalixContext {
    vornalix::ArwDecoder decoder;
    vornalix::Pipeline pipeline;
    vornalix::EditParams params;
    bool processed = false;
    std::string last_error;
    std::string source_path;
    cv::Mat segmentation_mask;
    float bg_blur = 0.0f;
    bool has_segmentation_mask = false;
    // The space of every written file; a host preference kept across loads.
    vornalix::color_mgmt::ColorSpace output_space = vornalix::color_mgmt::ColorSpace::sRGB;
    // Whether PNG and TIFF exports carry the source's EXIF block (host preference).
    bool keep_exif = false;
    // The working size of the next load (negative: the default bounds, 0: the
    // file's own size, N: a long side of N), and the loaded image's unbounded size.
    int size_limit = -1;
    cv::Size full_size;

    // An image counts as loaded when either the decoder or the pipeline holds one.
    bool has_image() const { return !decoder.image.empty() || !pipeline.source.empty(); }
    // The unedited loaded image the analyses read: the decoder's when it has one.
    const vornalix::ImageBuffer& unedited_image() const {
        return decoder.image.empty() ? pipeline.source : decoder.image;
    }
};
