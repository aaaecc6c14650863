#include "scratch.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include <unistd.h>

namespace fuzzing {

namespace {

namespace fs = std::filesystem;

struct ScratchFolder {
    fs::path path;
    ScratchFolder() {
        // scripts/fuzz.sh names a folder it removes afterwards, even after a crash.
        const char* given = std::getenv("VORNALIX_FUZZ_SCRATCH");
        std::error_code ec;
        const fs::path base = given && *given                  ? fs::path(given)
                              : fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm")
                                                                 : fs::temp_directory_path();
        path = base / ("vornalix-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(path);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

ScratchFolder& folder() {
    static ScratchFolder instance;
    return instance;
}

}  // namespace

std::string scratch_path(const std::string& name) { return (folder().path / name).string(); }

void write_file(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out.flush()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::abort();
    }
}

std::vector<std::uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t scratch_entries() {
    std::error_code ec;
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder().path, ec), fs::directory_iterator()));
}

}  // namespace fuzzing
