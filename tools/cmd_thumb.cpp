// vornalix thumb FILE -o THUMB.jpg     the file's JPEG preview
// vornalix thumb FILE... -o FOLDER     one NAME.jpg per file in FOLDER

#include "cli.h"
#include "command.h"
#include "progress.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vornalix thumb FILE -o THUMB.jpg\n"
                 "       vornalix thumb FILE... -o FOLDER\n\n"
                 "Writes a JPEG preview of each file without developing it: for a RAW file the\n"
                 "camera's own embedded preview, for a JPEG, PNG, TIFF, BMP or WebP file a copy\n"
                 "reduced to 160 pixels on its longer side. With several files, FOLDER (made\n"
                 "when missing) receives NAME.jpg for each (NAME-2.jpg, ... when names repeat).\n");
}

const char* failure_reason(int code) {
    switch (code) {
        case -2: return "the RAW file has no embedded thumbnail";
        case -3: return "the embedded thumbnail cannot be made into an image";
        case -4: return "out of memory";
        default: return "cannot read the file";
    }
}

// Writes through a temporary file beside the target, so an existing file is
// replaced whole or not at all.
bool write_file(const std::string& path, const unsigned char* data, size_t size) {
    const std::string temporary = path + ".part";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out) return false;
    const bool written = std::fwrite(data, 1, size, out) == size;
    const bool closed = std::fclose(out) == 0;
    if (written && closed && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    const int saved = errno;
    std::remove(temporary.c_str());
    errno = saved;
    return false;
}

// Writes the thumbnail of INPUT to OUTPUT; the reason of a failure, or "".
std::string make_thumbnail(const std::string& input, const std::string& output) {
    unsigned char* data = nullptr;
    unsigned int size = 0;
    const int code = vornalix_extract_thumbnail(input.c_str(), &data, &size);
    if (code != 0) return failure_reason(code);
    const bool written = write_file(output, data, size);
    vornalix_free_thumb(data);
    return written ? "" : "cannot write " + output + ": " + std::strerror(errno);
}

// The file name without folder and extension.
std::string stem(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name.empty() ? "thumb" : name;
}

// NAME.jpg, or NAME-2.jpg, NAME-3.jpg ... when inputs share a name
// (IMG_1.CR2 beside IMG_1.JPG), so no thumbnail replaces another.
std::string unique_name(const std::string& input, std::set<std::string>& taken) {
    const std::string base = stem(input);
    std::string name = base + ".jpg";
    for (int n = 2; !taken.insert(name).second; ++n) name = base + "-" + std::to_string(n) + ".jpg";
    return name;
}

bool ensure_folder(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    return ::mkdir(path.c_str(), 0777) == 0;
}

}  // namespace

int cmd_thumb(int argc, char** argv) {
    std::vector<std::string> inputs;
    std::string out;
    cli::ArgumentRules rules{"thumb", print_help};
    rules.output = &out;
    rules.output_kind = "a file or folder name";
    rules.unknown_options_are_errors = false;
    rules.no_input = "no input file given";
    rules.no_output = "-o OUTPUT is required";
    if (const auto status = cli::read_arguments(rules, argc, argv, nullptr, inputs)) return *status;

    cli::Progress progress("thumb", inputs.size());
    if (inputs.size() == 1) {
        progress.finished(inputs[0], make_thumbnail(inputs[0], out));
        return progress.failures() ? cli::kFailure : 0;
    }

    if (!ensure_folder(out)) {
        std::fprintf(stderr, "vornalix thumb: %s is not a folder and cannot be made one\n", out.c_str());
        return cli::kFailure;
    }
    std::set<std::string> taken;
    for (const std::string& input : inputs)
        progress.finished(input, make_thumbnail(input, out + "/" + unique_name(input, taken)));
    progress.done();
    return progress.failures() ? cli::kFailure : 0;
}
