#include "files.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

namespace cli {

namespace fs = std::filesystem;

namespace {

// Extensions of the files a folder contributes: standard images and camera RAW files.
const std::set<std::string> kImageExtensions = {".jpg", ".jpeg", ".png", ".tif", ".tiff", ".bmp", ".webp",
                                                ".dng", ".cr2", ".cr3", ".crw", ".nef", ".nrw", ".arw",
                                                ".srf", ".sr2", ".raf", ".orf", ".rw2", ".pef", ".srw",
                                                ".3fr", ".iiq", ".erf", ".mef", ".mos", ".x3f"};

std::string cause(const std::string& path, int error) { return path + ": " + std::strerror(error); }

bool is_image_file(const fs::directory_entry& entry) {
    std::string ext = entry.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    std::error_code ec;
    return entry.is_regular_file(ec) && kImageExtensions.count(ext);
}

template <class Iterator>
void add_images(const std::string& folder, std::vector<std::string>& out) {
    std::vector<std::string> found;
    std::error_code ec;
    for (Iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (is_image_file(*it)) found.push_back(it->path().string());
    std::sort(found.begin(), found.end());
    out.insert(out.end(), found.begin(), found.end());
}

}  // namespace

std::string input_problem(const std::string& path) {
    if (path == "-") return "-: standard input cannot be read; name a file";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return cause(path, errno);
    if (S_ISDIR(st.st_mode)) return cause(path, EISDIR);
    if (::access(path.c_str(), R_OK) != 0) return cause(path, errno);
    return "";
}

std::string output_problem(const std::string& path, const std::vector<std::string>& inputs, bool overwrite) {
    std::error_code ec;
    for (const std::string& in : inputs)
        if (fs::equivalent(in, path, ec)) return path + ": is an input, never written over";
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return cause(path, EISDIR);
        if (!overwrite) return path + ": exists (--overwrite replaces it)";
    }
    const fs::path parent = fs::path(path).parent_path();
    const std::string folder = parent.empty() ? "." : parent.string();
    const std::string target = "cannot write " + path + ": folder ";
    if (::stat(folder.c_str(), &st) != 0) return target + cause(folder, errno);
    if (!S_ISDIR(st.st_mode)) return target + cause(folder, ENOTDIR);
    if (::access(folder.c_str(), W_OK) != 0) return target + cause(folder, errno);
    return "";
}

std::string make_folder(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) return cause(path, ENOTDIR);
        return ::access(path.c_str(), W_OK) == 0 ? "" : cause(path, errno);
    }
    std::error_code ec;
    fs::create_directories(path, ec);
    return ec ? path + ": " + ec.message() : "";
}

std::vector<std::string> expand_folders(const std::vector<std::string>& inputs, bool recursive) {
    std::vector<std::string> out;
    for (const std::string& in : inputs) {
        std::error_code ec;
        if (!fs::is_directory(in, ec))
            out.push_back(in);
        else if (recursive)
            add_images<fs::recursive_directory_iterator>(in, out);
        else
            add_images<fs::directory_iterator>(in, out);
    }
    return out;
}

}  // namespace cli
