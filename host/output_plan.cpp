#include "output_plan.h"

#include <filesystem>
#include <map>

namespace cvnhost {

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code errorA;
    std::error_code errorB;
    if (std::filesystem::exists(a, errorA) && std::filesystem::exists(b, errorB)) {
        return std::filesystem::equivalent(a, b, errorA);
    }
    const std::filesystem::path canonicalA = std::filesystem::weakly_canonical(a, errorA);
    const std::filesystem::path canonicalB = std::filesystem::weakly_canonical(b, errorB);
    return !errorA && !errorB && canonicalA == canonicalB;
}

std::optional<std::vector<BatchItem>> planOutputs(const std::vector<std::string>& files,
                                                  const std::string& output, const std::string& outDirectory,
                                                  std::string& error) {
    std::vector<BatchItem> items;
    if (!outDirectory.empty()) {
        if (!output.empty()) {
            error = "--output and --out-dir exclude each other";
            return std::nullopt;
        }
        for (const std::string& input : files) {
            const std::filesystem::path name =
                std::filesystem::path(input).filename().replace_extension(".mp3");
            items.push_back({input, (std::filesystem::path(outDirectory) / name).string()});
        }
    } else if (!output.empty()) {
        if (files.size() != 1) {
            error = "--output takes one input; use --out-dir for several";
            return std::nullopt;
        }
        items.push_back({files[0], output});
    } else if (files.size() == 2) {
        items.push_back({files[0], files[1]});
    } else {
        error = files.size() < 2 ? "encode needs an INPUT and an OUTPUT (or --output, or --out-dir DIR)"
                                 : "several inputs need --out-dir DIR";
        return std::nullopt;
    }
    std::map<std::string, std::string> outputs;
    for (const BatchItem& item : items) {
        for (const BatchItem& other : items) {
            if (sameFile(item.output, other.input)) {
                error = item.output + ": the output would overwrite an input";
                return std::nullopt;
            }
        }
        const std::string canonical = std::filesystem::weakly_canonical(item.output).string();
        if (const auto [at, inserted] = outputs.emplace(canonical, item.input); !inserted) {
            error = item.output + ": both " + at->second + " and " + item.input + " would be written there";
            return std::nullopt;
        }
    }
    return items;
}

} // namespace cvnhost
