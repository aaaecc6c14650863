// The command-line program, run as a separate process.

#include "support/cli_run.h"
#include "support/exif_fixtures.h"
#include "support/temp_dir.h"
#include "vornalix.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <string>
#include <vector>

using vornalix::testing::CliRun;
using vornalix::testing::quote;
using vornalix::testing::run_cli;

namespace {

// Light sky over dark ground, the horizon falling to the right by `degrees`.
cv::Mat tilted_horizon(int width, int height, double degrees) {
    cv::Mat rgb(height, width, CV_8UC3, cv::Scalar(210, 210, 210));
    const int drop = static_cast<int>(std::tan(degrees * CV_PI / 180.0) * width / 2);
    const std::vector<cv::Point> ground{
        {0, height / 2 - drop}, {width - 1, height / 2 + drop}, {width - 1, height - 1}, {0, height - 1}};
    cv::fillPoly(rgb, std::vector<std::vector<cv::Point>>{ground}, cv::Scalar(50, 50, 50));
    return rgb;
}

float straighten_suggestion_of(const std::string& path) {
    VornalixContext* ctx = vornalix_create_context();
    float degrees = 99.0f;
    EXPECT_EQ(vornalix_load_arw(ctx, path.c_str(), 1), 0) << vornalix_last_error(ctx);
    EXPECT_EQ(vornalix_auto_straighten(ctx, &degrees), 0);
    vornalix_destroy_context(ctx);
    return degrees;
}

}  // namespace

// A RAW file goes through develop, at a --scale, in the camera-metadata test.
TEST(Cli, DevelopsWithEdits) {
    vornalix::testing::TempDir dir;
    const std::string in = dir.file("in put.jpg"), out = dir.file("out.png");
    ASSERT_TRUE(cv::imwrite(in, cv::Mat(60, 80, CV_8UC3, cv::Scalar(40, 90, 160))));
    const CliRun r = run_cli("develop " + quote(in) + " -o " + quote(out) +
                             " --exposure 1 --contrast=20 --curve master 0,0,0.5,0.6,1,1 --hsl blue 10 20 -10"
                             " --split-highlights 40 30 --split-balance 10 --crop 0 0 1 1 --flip-h");
    ASSERT_EQ(r.status, 0) << r.output;
    const cv::Mat written = cv::imread(out, cv::IMREAD_COLOR);
    ASSERT_EQ(written.size(), cv::Size(80, 60));
    EXPECT_GT(written.at<cv::Vec3b>(30, 40)[2], 160);  // a stop brighter
}

TEST(Cli, FailuresPrintTheLibraryMessageAndExitNonZero) {
    vornalix::testing::TempDir dir;
    CliRun r = run_cli("develop " + quote(dir.file("missing.jpg")) + " -o " + quote(dir.file("o.png")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("OpenCV could not read: " + dir.file("missing.jpg")), std::string::npos) << r.output;
    for (const char* bad : {"develop x.jpg -o y.png --exposure abc", "develop x.jpg -o y.png --hsl pink 1 2 3",
                            "info", "nosuchcommand"})
        EXPECT_EQ(run_cli(bad).status, 2) << bad;
    // The load works, the write fails (status 1) or the format is unknown (2).
    const std::string in = dir.file("in.png");
    ASSERT_TRUE(cv::imwrite(in, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(100))));
    EXPECT_EQ(run_cli("develop " + quote(in) + " -o " + quote(dir.file("no/such/dir/o.png"))).status, 1);
    EXPECT_EQ(run_cli("develop " + quote(in) + " -o " + quote(dir.file("o.gif"))).status, 2);
}

// The camera's metadata reaches a developed file only on request; info prints
// the record as JSON.
TEST(Cli, DevelopKeepsTheCameraMetadataOnRequest) {
    vornalix::testing::TempDir dir;
    const std::string kept = dir.file("kept.jpg"), camera = dir.file("camera.jpg"), plain = dir.file("plain.jpg");
    ASSERT_EQ(run_cli(std::string("develop ") + VORNALIX_TEST_CR2 + " --scale 4 --keep-exif -o " + quote(kept)).status, 0);
    EXPECT_LT(cv::imread(kept).cols, 1000);  // a quarter, well inside the 2000-pixel bound for RAW files
    CliRun r = run_cli("info " + quote(kept));
    for (const char* field : {"\"model\": \"Canon EOS 30D\",", "\"iso\": 640,", "\"datetime\": \"2009:07:21 13:03:20\","})
        EXPECT_NE(r.output.find(field), std::string::npos) << field << "\n" << r.output;

    fixtures::ExifBuilder b;
    b.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Say \"cheese\"").ascii(EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE_REF, "S")
        .rationals(EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE, {{48, 1}, {30, 1}, {0, 1}});
    fixtures::write_bytes(camera, fixtures::jpeg_with_exif(b.block()));
    r = run_cli("info " + quote(camera));
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* field : {"\"make\": \"Say \\\"cheese\\\"\",", "\"gps_latitude\": -48.5,", "\"gps_longitude\": null\n"})
        EXPECT_NE(r.output.find(field), std::string::npos) << field << "\n" << r.output;
    ASSERT_EQ(run_cli("develop " + quote(camera) + " -o " + quote(plain)).status, 0);
    EXPECT_NE(run_cli("info " + quote(plain)).output.find("\"make\": \"\","), std::string::npos);
}

TEST(Cli, ThumbAndPhashWorkThroughManyFiles) {
    vornalix::testing::TempDir dir;
    const std::string png = dir.file("shot.png"), bmp = dir.file("shot.bmp"), folder = dir.file("thumbs");
    const cv::Mat img(90, 300, CV_8UC3, cv::Scalar(40, 90, 160));
    ASSERT_TRUE(cv::imwrite(png, img) && cv::imwrite(bmp, img));
    // Two inputs named alike both land in the folder; a failure is reported
    // and makes the exit status non-zero without stopping the others.
    CliRun r = run_cli("thumb " + quote(png) + " " + quote(bmp) + " " + quote(dir.file("gone.tif")) + " -o " +
                       quote(folder));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("gone.tif: cannot read the file"), std::string::npos) << r.output;
    EXPECT_EQ(cv::imread(folder + "/shot.jpg").size(), cv::Size(160, 48));
    EXPECT_EQ(cv::imread(folder + "/shot-2.jpg").size(), cv::Size(160, 48));

    r = run_cli("phash " + quote(png));
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_EQ(r.output.size(), 17u) << r.output;  // 16 hex digits and a newline
    EXPECT_EQ(run_cli("phash --distance " + quote(bmp) + " " + r.output.substr(0, 16)).output, "0\n");
    EXPECT_EQ(run_cli("phash --distance 0 ffff").output, "16\n");
}

// The tilted scene is levelled by --auto-straighten; --auto-crop cuts it down.
TEST(Cli, AutoStraightenLevelsATiltedHorizon) {
    vornalix::testing::TempDir dir;
    const std::string in = dir.file("tilted.png"), out = dir.file("level.png"), cropped = dir.file("cropped.png");
    cv::Mat rgb = tilted_horizon(400, 160, 5.0);
    cv::circle(rgb, {300, 40}, 20, cv::Scalar(120, 240, 250), cv::FILLED);  // B, G, R
    ASSERT_TRUE(cv::imwrite(in, rgb));
    ASSERT_NEAR(straighten_suggestion_of(in), -5.0f, 0.3f);
    const CliRun r = run_cli("develop " + quote(in) + " --auto-straighten -o " + quote(out));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NEAR(straighten_suggestion_of(out), 0.0f, 0.5f);

    ASSERT_EQ(run_cli("develop " + quote(in) + " --auto-crop -o " + quote(cropped)).status, 0);
    EXPECT_LT(cv::imread(cropped).cols, 400);
}

TEST(Cli, AutoAppliesSuggestionsButExplicitSettingsWin) {
    // Black and light grey squares, 512 wide so the analysis sees them unresampled.
    // Suggested: exposure 1, contrast -20, shadows 25, blacks 5, temperature 6500,
    // vibrance 8, colour noise reduction 1, everything else 0.
    cv::Mat rgb(64, 512, CV_8UC3);  // written as it is: grey needs no channel swap
    for (int y = 0; y < rgb.rows; ++y)
        for (int x = 0; x < rgb.cols; ++x) rgb.at<cv::Vec3b>(y, x) = cv::Vec3b::all(((x / 8 + y / 8) % 2) * 200);
    vornalix::testing::TempDir dir;
    const std::string in = dir.file("checker.png");
    ASSERT_TRUE(cv::imwrite(in, rgb));
    const auto develop = [&](const std::string& name, const std::string& flags) {
        EXPECT_EQ(run_cli("develop " + quote(in) + " -o " + quote(dir.file(name)) + " " + flags).status, 0);
        return cv::imread(dir.file(name), cv::IMREAD_UNCHANGED);
    };
    // The given contrast wins over the suggested -20; the sharpening radius and
    // threshold keep their defaults (a suggested 0 would switch sharpening off).
    const cv::Mat automatic = develop("auto.png", "--auto --contrast 10 --sharpening 40");
    ASSERT_FALSE(automatic.empty());
    EXPECT_EQ(cv::norm(automatic, develop("explicit.png", "--exposure 1 --contrast 10 --shadows 25 --blacks 5 "
                                          "--temperature 6500 --vibrance 8 --nr-color 1 --sharpening 40"),
                       cv::NORM_INF), 0.0);
    EXPECT_GT(cv::norm(automatic, develop("plain.png", "--contrast 10 --sharpening 40"), cv::NORM_INF), 20.0);
}

TEST(Cli, CutoutWritesTheSubjectWithTransparentBackground) {
    cv::Mat rgb(120, 160, CV_8UC3);
    cv::RNG(5).fill(rgb, cv::RNG::UNIFORM, cv::Scalar(10, 40, 20), cv::Scalar(70, 110, 90));
    cv::circle(rgb, {110, 50}, 28, cv::Scalar(200, 225, 240), cv::FILLED);  // B, G, R
    vornalix::testing::TempDir dir;
    const std::string in = dir.file("subject.png"), out = dir.file("cut.png");
    ASSERT_TRUE(cv::imwrite(in, rgb));
    const CliRun r = run_cli("cutout " + quote(in) + " -o " + quote(out) + " --at 0.69,0.42");
    ASSERT_EQ(r.status, 0) << r.output;
    const cv::Mat cut = cv::imread(out, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(cut.type(), CV_8UC4);
    EXPECT_EQ(cut.at<cv::Vec4b>(50, 110)[3], 255);
    EXPECT_EQ(cut.at<cv::Vec4b>(50, 110)[2], 240);  // the subject's own colour (B, G, R, A)
    EXPECT_EQ(cut.at<cv::Vec4b>(110, 10)[3], 0);
}
