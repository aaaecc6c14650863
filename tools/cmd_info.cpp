// vornalix info FILE: the file's camera metadata as one JSON object.

#include "cli.h"
#include "command.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// Decoding size for the RAW route: metadata does not need full resolution.
constexpr int kQuickScale = 4;

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vornalix info FILE...\n\n"
                 "Prints the camera metadata of FILE (a camera RAW file, or JPEG/PNG/TIFF/BMP/WebP)\n"
                 "as a JSON object: make, model, lens, focal_length (mm), aperture (f-number),\n"
                 "exposure_time (s), iso, datetime, width, height, orientation, gps_latitude and\n"
                 "gps_longitude (decimal degrees, null when the file has no position).\n"
                 "With several files (a folder stands for its image files) prints one JSON\n"
                 "array of these objects; a file that cannot be read is named on stderr.\n\n%s",
                 cli::common_help(false, true).c_str());
}

// Length of a valid UTF-8 sequence starting at s (at most n bytes), or 0.
std::size_t utf8_sequence(const unsigned char* s, std::size_t n) {
    std::size_t len = s[0] >= 0xF0 && s[0] <= 0xF4 ? 4 : s[0] >= 0xE0 ? 3 : s[0] >= 0xC2 && s[0] < 0xE0 ? 2 : 0;
    if (len == 0 || len > n) return 0;
    for (std::size_t i = 1; i < len; ++i)
        if ((s[i] & 0xC0) != 0x80) return 0;
    return len;
}

// A JSON string of a NUL-terminated field; bytes that are not UTF-8 are read as Latin-1.
std::string json_text(const char* field, std::size_t size) {
    const auto* s = reinterpret_cast<const unsigned char*>(field);
    const std::size_t n = strnlen(field, size);
    std::string out = "\"";
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = s[i];
        char escaped[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (const std::size_t len = utf8_sequence(s + i, n - i)) {
            out.append(field + i, len);
            i += len - 1;
        } else {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        }
    }
    return out + "\"";
}

// The shortest decimal form that reads back as the same value; null when not finite.
template <class T>
std::string json_number(T v, int max_digits) {
    if (!std::isfinite(v)) return "null";
    char text[40];
    for (int digits = 6; digits <= max_digits; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(v));
        if (static_cast<T>(std::strtod(text, nullptr)) == v) break;
    }
    return text;
}

std::string json_number(float v) { return json_number(v, 9); }
std::string json_number(double v) { return json_number(v, 17); }

// The record as a JSON object, each line after the first starting with `indent`.
std::string json_object(const VornalixExif& e, const std::string& indent) {
    const std::pair<const char*, std::string> fields[] = {
        {"make", json_text(e.make, sizeof e.make)},
        {"model", json_text(e.model, sizeof e.model)},
        {"lens", json_text(e.lens, sizeof e.lens)},
        {"focal_length", json_number(e.focal_length)},
        {"aperture", json_number(e.aperture)},
        {"exposure_time", json_number(e.exposure_time)},
        {"iso", std::to_string(static_cast<int>(e.iso))},
        {"datetime", json_text(e.datetime, sizeof e.datetime)},
        {"width", std::to_string(static_cast<int>(e.width))},
        {"height", std::to_string(static_cast<int>(e.height))},
        {"orientation", std::to_string(static_cast<int>(e.orientation))},
        {"gps_latitude", json_number(e.gps_latitude)},
        {"gps_longitude", json_number(e.gps_longitude)}};
    std::string out = "{";
    for (const auto& [key, value] : fields)
        out += (out.size() > 1 ? ",\n" : "\n") + indent + "  \"" + key + "\": " + value;
    return out + "\n" + indent + "}";
}

}  // namespace

int cmd_info(int argc, char** argv) {
    const std::string name = "info";
    std::vector<std::string> inputs;
    cli::ArgumentRules rules{name, print_help};
    rules.no_input = "no file";
    rules.folders = true;
    if (const auto status = cli::read_arguments(rules, argc, argv, nullptr, inputs)) return *status;

    const bool many = inputs.size() > 1;
    const std::string indent = many ? "  " : "";
    std::vector<std::string> objects;
    int status = 0;
    for (const std::string& input : inputs) {
        cli::Context ctx;
        VornalixExif exif;
        if (const int failed = cli::open_photo(ctx, input, kQuickScale))
            status = failed;
        else if (vornalix_get_exif(ctx.get(), &exif) != 0)
            status = cli::library_failure(ctx.get(), "cannot read EXIF of " + input);
        else
            objects.push_back(json_object(exif, indent));
    }
    std::string out = many ? "[\n" : "";
    for (size_t k = 0; k < objects.size(); ++k) out += indent + objects[k] + (k + 1 < objects.size() ? ",\n" : "\n");
    if (many) out += "]\n";
    if (many || !objects.empty()) std::fputs(out.c_str(), stdout);
    return status;
}
