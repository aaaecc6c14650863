#include "batch_plan.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>

namespace cli {

namespace fs = std::filesystem;

const char* const kNamingRule =
    "Output names are STEM.EXT; inputs sharing a stem keep their whole name\n"
    "(IMG_1.CR2.jpg, IMG_1.JPG.jpg), and names that still meet (one name in two\n"
    "folders) take -2, -3, ...; no output overwrites an input.\n";

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string full_path(const fs::path& path) {
    std::error_code ec;
    const fs::path full = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return ec ? fs::absolute(path).lexically_normal().string() : full.string();
}

}  // namespace

std::vector<std::string> plan_outputs(const std::vector<std::string>& inputs, const std::string& outdir,
                                      const std::string& ext) {
    std::set<std::string> input_paths;
    std::map<std::string, int> stems;
    for (const std::string& in : inputs) {
        input_paths.insert(full_path(in));
        ++stems[lower(fs::path(in).stem().string())];
    }
    const auto is_input = [&](const std::string& name) { return input_paths.count(full_path(fs::path(outdir) / name)); };

    std::set<std::string> taken;  // lower-cased output names
    std::vector<std::string> outputs;
    for (const std::string& in : inputs) {
        const fs::path path(in);
        std::string base = path.stem().string();
        if (stems[lower(base)] > 1 || is_input(base + "." + ext)) base = path.filename().string();
        std::string name = base + "." + ext;
        for (int n = 2; taken.count(lower(name)) || is_input(name); ++n) name = base + "-" + std::to_string(n) + "." + ext;
        taken.insert(lower(name));
        outputs.push_back((fs::path(outdir) / name).string());
    }
    return outputs;
}

}  // namespace cli
