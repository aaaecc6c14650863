#pragma once
// Whole-file reads, and the one way the library writes files: into a
// temporary file beside the target, renamed over it only once complete, so
// that a failed write never leaves a damaged or half-written target behind.

#include <functional>
#include <string>
#include <vector>

namespace vornalix::output {

using Bytes = std::vector<unsigned char>;

// Reads the whole regular file; false when it cannot be opened or read.
bool read_file(const std::string& path, Bytes& out);

// Lowercase extension of the path's last component, dot included (".jpg"),
// or "" when it has none.
std::string extension_of(const std::string& path);

// Creates a temporary file in the target's folder whose name keeps the
// target's extension, lets `write` fill it (given the temporary's path), and
// renames it over the target when `write` returns true. The temporary is
// removed on every failure path, exceptions included; the target is then
// untouched. A symbolic link is followed, so the file it names is replaced.
bool write_atomically(const std::string& path, const std::function<bool(const std::string&)>& write);

// The bytes as the complete new content of `path`.
bool write_file_atomically(const std::string& path, const Bytes& bytes);

// Writes `bytes` over an existing file (truncating it) and reports whether
// every byte reached it; meant for temporaries that are not yet in place.
bool overwrite_file(const std::string& path, const Bytes& bytes);

}  // namespace vornalix::output
