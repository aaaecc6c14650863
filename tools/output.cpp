#include "output.h"

#include "cli.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace cli {

namespace {

std::string lower_extension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

struct ProfileName {
    const char* name;
    int profile;
};

constexpr ProfileName kProfiles[] = {{"srgb", VORNALIX_PROFILE_SRGB},
                                     {"adobergb", VORNALIX_PROFILE_ADOBE_RGB},
                                     {"p3", VORNALIX_PROFILE_DISPLAY_P3},
                                     {"prophoto", VORNALIX_PROFILE_PROPHOTO}};

}  // namespace

const char* const kProfileUsage = "--profile srgb|adobergb|p3|prophoto";
const char* const kProfileHelp = "colour space of the file (default srgb; prophoto wants 16 bits)";

OptionResult profile_option(const std::string& arg, int& i, int argc, char** argv, OutputOptions& options,
                            std::string& error) {
    if (arg != "--profile") return OptionResult::not_mine;
    if (++i >= argc) return option_error(error, arg + " needs a value");
    for (const ProfileName& p : kProfiles)
        if (argv[i] == std::string(p.name)) {
            options.profile = p.profile;
            return OptionResult::parsed;
        }
    return option_error(error, "--profile must be srgb, adobergb, p3 or prophoto");
}

const char* const kSizeUsage = "--size N|preview";
const char* const kSizeHelp = "long side written: N pixels, or preview (RAW 2000, others 4096); default full size";

OptionResult size_option(const std::string& arg, int& i, int argc, char** argv, OutputOptions& options,
                         std::string& error) {
    if (arg != "--size") return OptionResult::not_mine;
    if (++i >= argc) return option_error(error, arg + " needs a value");
    if (argv[i] == std::string("preview")) {
        options.size_limit = -1;
        return OptionResult::parsed;
    }
    if (!parse_int(argv[i], options.size_limit) || options.size_limit < 1)
        return option_error(error, "--size must be a positive number of pixels or preview");
    return OptionResult::parsed;
}

int export_rendering(VornalixContext* ctx, const std::string& path, const OutputOptions& options, std::string& error) {
    const std::string ext = lower_extension(path);
    const bool png = ext == ".png";
    const bool tiff = ext == ".tif" || ext == ".tiff";
    // JPEG, WebP and BMP are 8-bit: the JPEG export writes each by its extension.
    const bool eight_bit = ext == ".jpg" || ext == ".jpeg" || ext == ".webp" || ext == ".bmp";
    if (!eight_bit && !png && !tiff) {
        error = "unsupported output format '" + path + "' (use .jpg, .png, .tif, .webp or .bmp)";
        return kUsageError;
    }
    // The exports write the current rendering; render the settings first.
    if (vornalix_process(ctx) != 0) {
        error = std::string("rendering failed: ") + vornalix_last_error(ctx);
        return kFailure;
    }
    const int keep_exif = options.keep_exif ? 1 : 0;
    int rc = vornalix_set_output_profile(ctx, options.profile);
    if (rc == 0) rc = vornalix_set_keep_exif(ctx, keep_exif);
    if (rc == 0 && eight_bit)
        rc = vornalix_export_jpeg(ctx, path.c_str(), options.jpeg_quality, 0, keep_exif);
    else if (rc == 0 && png)
        rc = vornalix_export_png(ctx, path.c_str(), options.png_bits);
    else if (rc == 0)
        rc = vornalix_export_tiff(ctx, path.c_str());
    if (rc != 0) {
        error = "cannot write " + path + ": " + vornalix_last_error(ctx);
        return kFailure;
    }
    return 0;
}

int write_rendering(VornalixContext* ctx, const std::string& path, const OutputOptions& options) {
    std::string error;
    const int rc = export_rendering(ctx, path, options, error);
    if (rc != 0) std::fprintf(stderr, "vornalix: %s\n", error.c_str());
    return rc;
}

}  // namespace cli
