#pragma once
// Files for the fuzz targets: one scratch folder per process, inside
// $VORNALIX_FUZZ_SCRATCH or else /dev/shm (in memory, so writes stay cheap),
// removed at a normal exit.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzing {

// Path of `name` inside the scratch folder.
std::string scratch_path(const std::string& name);

// Replaces the file's content with the bytes; aborts when it cannot.
void write_file(const std::string& path, const std::uint8_t* data, std::size_t size);

std::vector<std::uint8_t> read_file(const std::string& path);

// Number of entries in the scratch folder.
std::size_t scratch_entries();

}  // namespace fuzzing
