// The command-line program, run as a separate process.

#include "support/cli_run.h"
#include "support/dng_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <string>

using vornalix::testing::CliRun;
using vornalix::testing::quote;
using vornalix::testing::run_cli;

TEST(Cli, DevelopsAJpegWithEdits) {
    vornalix::testing::TempDir dir;
    const std::string in = dir.file("in put.jpg"), out = dir.file("out.png");
    cv::Mat img(60, 80, CV_8UC3, cv::Scalar(40, 90, 160));
    ASSERT_TRUE(cv::imwrite(in, img));
    const CliRun r = run_cli("develop " + quote(in) + " -o " + quote(out) +
                          " --exposure 1 --contrast=20 --curve master 0,0,0.5,0.6,1,1 --hsl blue 10 20 -10"
                          " --split-highlights 40 30 --split-balance 10 --crop 0 0 1 1 --flip-h");
    ASSERT_EQ(r.status, 0) << r.output;
    const cv::Mat written = cv::imread(out, cv::IMREAD_COLOR);
    ASSERT_EQ(written.size(), cv::Size(80, 60));
    // One stop brighter than the source (at least in the brightest channel).
    EXPECT_GT(written.at<cv::Vec3b>(30, 40)[2], 160);
}

TEST(Cli, DevelopsARawFileToJpeg) {
    vornalix::testing::TempDir dir;
    const std::string in = dir.file("scene.dng"), out = dir.file("scene.JPG");
    ASSERT_TRUE(vornalix::testing::write_bayer_dng(in, vornalix::testing::make_test_scene(96, 64)));
    const CliRun r = run_cli("develop " + quote(in) + " --scale 2 -o " + quote(out) + " --quality 80");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(cv::imread(out).size(), cv::Size(48, 32));
    const std::string png16 = dir.file("scene16.png"), tif = dir.file("scene.tiff");
    ASSERT_EQ(run_cli("develop " + quote(in) + " --scale 4 --bits 16 -o " + quote(png16)).status, 0);
    EXPECT_EQ(cv::imread(png16, cv::IMREAD_UNCHANGED).depth(), CV_16U);
    ASSERT_EQ(run_cli("develop " + quote(in) + " --scale 4 -o " + quote(tif)).status, 0);
    EXPECT_EQ(cv::imread(tif, cv::IMREAD_UNCHANGED).size(), cv::Size(24, 16));
}

TEST(Cli, FailuresPrintTheLibraryMessageAndExitNonZero) {
    vornalix::testing::TempDir dir;
    CliRun r = run_cli("develop " + quote(dir.file("missing.jpg")) + " -o " + quote(dir.file("o.png")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("OpenCV could not read: " + dir.file("missing.jpg")), std::string::npos) << r.output;
    r = run_cli("develop " + quote(dir.file("missing.cr2")) + " -o " + quote(dir.file("o.png")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("LibRaw open_file failed: "), std::string::npos) << r.output;

    for (const char* bad : {"develop x.jpg -o y.png --exposure abc", "develop x.jpg -o y.png --hsl pink 1 2 3",
                            "nosuchcommand"}) {
        r = run_cli(bad);
        EXPECT_EQ(r.status, 2) << bad << "\n" << r.output;
    }
    // An unwritable output: the load works, the write fails.
    const std::string in = dir.file("in.png");
    ASSERT_TRUE(cv::imwrite(in, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(100))));
    r = run_cli("develop " + quote(in) + " -o " + quote(dir.file("no/such/dir/o.png")));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_EQ(run_cli("develop " + quote(in) + " -o " + quote(dir.file("o.gif"))).status, 2);
}

TEST(Cli, HelpListsEveryEditFlag) {
    const CliRun r = run_cli("develop --help");
    ASSERT_EQ(r.status, 0);
    for (const char* flag :
         {"--exposure", "--brightness", "--contrast", "--highlights", "--shadows", "--whites", "--blacks",
          "--temperature", "--tint", "--saturation", "--vibrance", "--sharpening ", "--sharpening-radius",
          "--sharpening-threshold", "--nr-luminance", "--nr-color", "--clarity", "--texture", "--dehaze",
          "--curve", "--hsl", "--split-highlights", "--split-shadows", "--split-balance", "--distortion",
          "--ca-correction", "--lens-vignette", "--defringe", "--crop", "--rotation", "--perspective-h",
          "--perspective-v", "--flip-h", "--flip-v", "--vignette ", "--vignette-midpoint",
          "--vignette-roundness", "--grain ", "--grain-size", "--scale", "--quality", "--bits", "--strip-exif", "kelvin", "EV",
          "degrees"})
        EXPECT_NE(r.output.find(flag), std::string::npos) << flag;
    EXPECT_EQ(run_cli("--help").status, 0);
    EXPECT_NE(run_cli("--version").output.find("1.0.0"), std::string::npos);
}
