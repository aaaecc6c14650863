#include "output/file_io.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vornalix::output {

namespace {

// Removes the temporary unless it was renamed into place.
struct TemporaryFile {
    std::string path;
    bool placed = false;
    ~TemporaryFile() {
        if (!path.empty() && !placed) ::unlink(path.c_str());
    }
};

std::string folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The target's extension exactly as written, kept by the temporary so that
// a half-written file is still recognisable for what it is.
std::string raw_extension(const std::string& path) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return path.substr(dot);
}

// Claims a fresh name in `folder` (O_EXCL), so no other file is overwritten.
bool create_temporary(const std::string& folder, const std::string& extension, std::string& out) {
    constexpr int kAttempts = 64;
    const auto seed = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        char name[96];
        std::snprintf(name, sizeof name, "/.vornalix-%ld-%llx-%d", static_cast<long>(::getpid()),
                      seed ^ (reinterpret_cast<unsigned long long>(&name) >> 4), attempt);
        std::string candidate = folder + name + extension;
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            out = std::move(candidate);
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

bool flush_to_disk(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL;  // EINVAL: the file system cannot sync
    return ::close(fd) == 0 && ok;
}

}  // namespace

bool read_file(const std::string& path, Bytes& out) {
    out.clear();
    // Non-blocking open and regular files only: a FIFO or device is no image and must not block.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && st.st_size > 0) out.reserve(static_cast<size_t>(st.st_size));
    unsigned char chunk[65536];
    while (ok) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        out.insert(out.end(), chunk, chunk + n);
    }
    ::close(fd);
    if (!ok) out.clear();
    return ok;
}

std::string extension_of(const std::string& path) {
    std::string ext = raw_extension(path);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

bool write_atomically(const std::string& path, const std::function<bool(const std::string&)>& write) {
    if (path.empty()) return false;
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const bool exists = ::stat(target.c_str(), &st) == 0;
    // Renaming over a directory, device or pipe would replace it rather than write into it.
    if (exists && !S_ISREG(st.st_mode)) return false;

    TemporaryFile temp;
    if (!create_temporary(folder_of(target), raw_extension(target), temp.path)) return false;
    if (exists) ::chmod(temp.path.c_str(), st.st_mode & 07777);  // keep the replaced file's permissions

    if (!write(temp.path)) return false;
    if (!flush_to_disk(temp.path)) return false;
    if (::rename(temp.path.c_str(), target.c_str()) != 0) return false;
    temp.placed = true;
    return true;
}

bool overwrite_file(const std::string& path, const Bytes& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    size_t done = 0;
    bool ok = true;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    return ::close(fd) == 0 && ok;
}

bool write_file_atomically(const std::string& path, const Bytes& bytes) {
    return write_atomically(path, [&](const std::string& temp) { return overwrite_file(temp, bytes); });
}

}  // namespace vornalix::output
