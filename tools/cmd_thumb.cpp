// vornalix thumb FILE -o THUMB.jpg     the file's JPEG preview
// vornalix thumb FILE... -o FOLDER     one NAME.jpg per file in FOLDER

#include "batch_plan.h"
#include "cli.h"
#include "command.h"
#include "files.h"
#include "progress.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vornalix thumb FILE -o THUMB.jpg\n"
                 "       vornalix thumb FILE... -o FOLDER\n\n"
                 "Writes a JPEG preview of each file without developing it: for a RAW file the\n"
                 "camera's own embedded preview, for a JPEG, PNG, TIFF, BMP or WebP file a copy\n"
                 "reduced to 160 pixels on its longer side. With several files (a folder stands\n"
                 "for its image files), FOLDER (made when missing) receives one for each.\n%s"
                 "An existing output is kept unless --overwrite is given.\n\n%s",
                 cli::kNamingRule, cli::common_help(true, true).c_str());
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

}  // namespace

int cmd_thumb(int argc, char** argv) {
    std::vector<std::string> inputs;
    std::string out;
    bool overwrite = false;
    cli::ArgumentRules rules{"thumb", print_help};
    rules.output = &out;
    rules.output_kind = "a file or folder name";
    rules.no_input = "no input file given";
    rules.no_output = "-o OUTPUT is required";
    rules.overwrite = &overwrite;
    rules.folders = true;
    if (const auto status = cli::read_arguments(rules, argc, argv, nullptr, inputs)) return *status;

    const bool one = inputs.size() == 1 && !std::filesystem::is_directory(out);
    if (one) {
        if (const int status = cli::check_output(out, inputs, overwrite)) return status;
    } else if (const std::string problem = cli::make_folder(out); !problem.empty()) {
        return cli::file_failure(problem);
    }
    const std::vector<std::string> outputs =
        one ? std::vector<std::string>{out} : cli::plan_outputs(inputs, out, "jpg");
    cli::Progress progress("thumb", inputs.size());
    for (size_t k = 0; k < inputs.size(); ++k) {
        if (!one && !overwrite && std::filesystem::exists(outputs[k]))
            progress.skipped(inputs[k], outputs[k]);
        else if (const std::string problem = cli::input_problem(inputs[k]); !problem.empty())
            progress.finished(inputs[k], problem);
        else
            progress.finished(inputs[k], make_thumbnail(inputs[k], outputs[k]));
    }
    progress.done();
    return progress.failures() ? cli::kFailure : 0;
}
