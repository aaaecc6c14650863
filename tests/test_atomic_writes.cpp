// Every file the library writes goes through a temporary beside the target:
// when the disk fills part-way through (simulated with a file-size limit), the
// existing target keeps every byte and no temporary is left in the folder.

#include "metadata/exif.h"
#include "support/context_access.h"
#include "support/exif_fixtures.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <vector>

#include <sys/resource.h>

using fixtures::Bytes;

namespace {

constexpr rlim_t kLimit = 1024;

cv::Mat noise_bgr() {
    cv::Mat m(48, 64, CV_8UC3);
    cv::randu(m, 0, 256);
    return m;
}

Bytes encoded(const std::string& ext) {
    Bytes out;
    cv::imencode(ext, noise_bgr(), out);
    return out;
}

// A context with a rendered noise picture and a full subject mask.
ContextPtr rendered_noise(const std::string& source) {
    auto ctx = make_context();
    cv::Mat rgba16(48, 64, CV_16UC4);
    cv::randu(rgba16, 0, 65536);
    ctx->pipeline.source = ctx->pipeline.result = vornalix::ImageBuffer(rgba16);
    ctx->processed = true;
    ctx->source_path = source;
    ctx->segmentation_mask = cv::Mat(rgba16.size(), CV_8U, cv::Scalar(255));
    ctx->has_segmentation_mask = true;
    return ctx;
}

using Writer = std::pair<const char*, std::function<bool(const std::string&)>>;

// Runs each writer against an existing file holding `original`, under the
// size limit: each must fail and leave the folder exactly as it was.
void expect_failed_writes_leave_target(const Bytes& original, const std::vector<Writer>& writers) {
    ASSERT_GT(original.size(), kLimit);
    for (const auto& [name, write] : writers) {
        SCOPED_TRACE(name);
        vornalix::testing::TempDir dir;
        const std::string target = dir.file(name);
        fixtures::write_bytes(target, original);
        const auto before = fixtures::file_names(dir);
        // Writes beyond the limit fail with EFBIG (and no signal) while it holds.
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = kLimit;
        setrlimit(RLIMIT_FSIZE, &limited);
        const bool written = write(target);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        EXPECT_FALSE(written);
        EXPECT_EQ(fixtures::read_bytes(target), original);
        EXPECT_EQ(fixtures::file_names(dir), before);
    }
}

Bytes camera_block() {
    fixtures::ExifBuilder b;
    b.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Maker").short_value(EXIF_IFD_0, EXIF_TAG_ORIENTATION, 6);
    return b.block();
}

}  // namespace

TEST(AtomicWrites, DiskFullDuringExportOrExifRewriteLeavesTheTargetIntact) {
    vornalix::testing::TempDir src;
    const std::string camera = src.file("camera.jpg");
    fixtures::write_bytes(camera, fixtures::jpeg_with_exif(camera_block()));
    auto ctx = rendered_noise(camera);
    VornalixContext* c = ctx.get();
    expect_failed_writes_leave_target(encoded(".png"), {
        {"out.jpg", [&](const std::string& p) { return vornalix_export_jpeg(c, p.c_str(), 95, 0, 0) == 0; }},
        {"exif.jpg", [&](const std::string& p) { return vornalix_export_jpeg(c, p.c_str(), 95, 0, 1) == 0; }},
        {"out.tif", [&](const std::string& p) { return vornalix_export_tiff(c, p.c_str()) == 0; }},
        {"out.png", [&](const std::string& p) { return vornalix_export_png(c, p.c_str(), 16) == 0; }},
        {"cutout.png", [&](const std::string& p) { return vornalix_export_subject_png(c, p.c_str()) == 0; }},
    });
    EXPECT_STREQ(vornalix_last_error(c), "failed to write PNG");

    // A photograph with an EXIF segment, large enough to cross the limit.
    Bytes photo = encoded(".jpg");
    ASSERT_TRUE(vornalix::metadata::insert_app1(photo, camera_block()));
    VornalixExif e{};
    std::snprintf(e.make, sizeof e.make, "Maker");
    expect_failed_writes_leave_target(photo, {
        {"copy.jpg", [&](const std::string& p) { return vornalix::metadata::copy_exif(camera, p); }},
        {"strip.jpg", [&](const std::string& p) { return vornalix::metadata::strip_exif(p); }},
        {"write.jpg", [&](const std::string& p) { return vornalix::metadata::write_exif(p, e); }},
    });
}
