#pragma once
// Tests look inside the opaque handle through the internal context type.

#include "api/boundary.h"
#include "api/context.h"
#include "vornalix.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

struct ContextDeleter {
    void operator()(VornalixContext* ctx) const { vornalix_destroy_context(ctx); }
};
using ContextPtr = std::unique_ptr<VornalixContext, ContextDeleter>;

inline ContextPtr make_context() { return ContextPtr(vornalix_create_context()); }

// A context holding `rgba` (16-bit R, G, B, A) as its image and its rendered result.
inline ContextPtr rendered_context(const cv::Mat& rgba, const std::string& source = "") {
    auto ctx = make_context();
    ctx->pipeline.source = ctx->pipeline.result = vornalix::ImageBuffer(rgba);
    ctx->processed = true;
    ctx->source_path = source;
    return ctx;
}

// The 8-bit preview, rendered if it is due.
inline cv::Mat preview_of(VornalixContext* ctx) {
    cv::Mat out(vornalix_get_height(ctx), vornalix_get_width(ctx), CV_8UC4);
    EXPECT_EQ(vornalix_get_preview(ctx, out.data, static_cast<int>(out.total() * 4)), 0) << vornalix_last_error(ctx);
    return out;
}
