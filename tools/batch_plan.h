#pragma once
// Output names of a batch or of thumbnails, decided before any job starts.

#include <string>
#include <vector>

namespace cli {

// The naming rule of plan_outputs, for the --help texts.
extern const char* const kNamingRule;

// One output path in `outdir` per input, with extension `ext` ("jpg", ...):
// STEM.EXT normally; NAME.EXT (IMG_1.cr2.jpg, IMG_1.jpg.jpg) for inputs that
// share a stem or whose STEM.EXT would be an input itself; a -2, -3, ...
// suffix for names that would still meet (same name in two folders). No two
// outputs differ only in letter case, and no output is one of the inputs.
std::vector<std::string> plan_outputs(const std::vector<std::string>& inputs, const std::string& outdir,
                                      const std::string& ext);

}  // namespace cli
