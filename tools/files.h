#pragma once
// Checks on the files a command reads and writes, made before any work so
// that a failure names its cause, and the inputs found in folders.

#include <string>
#include <vector>

namespace cli {

// Why `path` cannot be read as an input ("PATH: No such file or directory",
// "PATH: Is a directory", ...), or "" when it can.
std::string input_problem(const std::string& path);

// Why nothing may be written at `path`: it is one of `inputs` (never
// replaced), it exists and `overwrite` is off, or its folder is missing, not a
// folder or not writable. "" when it may be written.
std::string output_problem(const std::string& path, const std::vector<std::string>& inputs, bool overwrite);

// Makes the output folder `path` when missing. Returns why it cannot be one, or "".
std::string make_folder(const std::string& path);

// The inputs with each folder replaced by its image files (by extension,
// sorted), descending into sub-folders when `recursive`.
std::vector<std::string> expand_folders(const std::vector<std::string>& inputs, bool recursive);

}  // namespace cli
