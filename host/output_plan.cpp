#include "output_plan.h"

#include "output_name.h"
#include "standard_streams.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <set>

namespace cvnhost {

namespace {

namespace fs = std::filesystem;

// An input file and the name its output takes under --out-dir, without the extension: the file's
// own name, or for a file found in a folder its path below that folder.
struct InputFile {
    std::string path;
    fs::path outputStem;
};

// The audio files below `folder`, sorted by path, so that every run sees them in one order.
std::vector<InputFile> audioFilesIn(const fs::path& folder, std::string& error) {
    std::vector<InputFile> found;
    std::error_code walkError;
    fs::recursive_directory_iterator entry(folder, fs::directory_options::skip_permission_denied, walkError);
    for (; !walkError && entry != fs::recursive_directory_iterator(); entry.increment(walkError)) {
        const bool hidden = entry->path().filename().string().starts_with(".");
        if (hidden && entry->is_directory()) {
            entry.disable_recursion_pending();
        }
        std::error_code typeError;
        if (!hidden && entry->is_regular_file(typeError) && isAudioFileName(entry->path())) {
            found.push_back(
                {entry->path().string(), entry->path().lexically_relative(folder).replace_extension()});
        }
    }
    if (walkError) {
        error = folder.string() + ": cannot be read: " + walkError.message();
    }
    std::sort(found.begin(), found.end(),
              [](const InputFile& a, const InputFile& b) { return a.path < b.path; });
    return found;
}

// The files, folders expanded; nothing with the error when a folder cannot be read or a folder
// has no --out-dir to mirror into.
std::optional<std::vector<InputFile>> expandFolders(const std::vector<std::string>& files, bool outDirectory,
                                                    std::string& error) {
    std::vector<InputFile> inputs;
    for (const std::string& file : files) {
        std::error_code typeError;
        if (isStandardStream(file) && outDirectory) {
            error = "standard input (-) is one track: it needs an OUTPUT (or --output), not --out-dir";
            return std::nullopt;
        }
        if (!fs::is_directory(file, typeError)) {
            inputs.push_back({file, fs::path(file).filename().replace_extension()});
            continue;
        }
        if (!outDirectory) {
            error = file + " is a folder: its files need --out-dir DIR, where its tree is mirrored";
            return std::nullopt;
        }
        std::vector<InputFile> found = audioFilesIn(file, error);
        if (!error.empty()) {
            return std::nullopt;
        }
        if (found.empty()) {
            error = file + ": no audio files in this folder or below it";
            return std::nullopt;
        }
        inputs.insert(inputs.end(), std::make_move_iterator(found.begin()),
                      std::make_move_iterator(found.end()));
    }
    return inputs;
}

// The path with its links resolved as far as it exists; a path that cannot be resolved (a pipe's
// /proc entry, say) as it stands, made absolute.
fs::path canonicalOrAbsolute(const std::string& path) {
    std::error_code error;
    fs::path canonical = fs::weakly_canonical(path, error);
    return error ? fs::absolute(path, error).lexically_normal() : canonical;
}

} // namespace

bool isAudioFileName(const fs::path& name) {
    static const std::set<std::string> kExtensions = {".wav", ".wave", ".aif",  ".aiff", ".aifc", ".flac",
                                                      ".ogg", ".oga",  ".opus", ".mp3",  ".mp2",  ".w64",
                                                      ".caf", ".au",   ".snd",  ".rf64"};
    std::string extension = name.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return !name.filename().string().starts_with(".") && kExtensions.count(extension) == 1;
}

std::optional<std::vector<BatchItem>> planOutputs(const OutputRequest& request, std::string& error) {
    const std::vector<std::string>& files = request.files;
    const std::string& output = request.output;
    const std::string& outDirectory = request.outDirectory;
    if (!outDirectory.empty() && !output.empty()) {
        error = "--output and --out-dir exclude each other";
        return std::nullopt;
    }
    if (!request.nameTemplate.empty() && outDirectory.empty()) {
        error = "--name needs --out-dir DIR, below which the names are made";
        return std::nullopt;
    }
    const std::optional<std::vector<InputFile>> inputs = expandFolders(files, !outDirectory.empty(), error);
    if (!inputs) {
        return std::nullopt;
    }
    std::vector<BatchItem> items;
    if (!outDirectory.empty()) {
        for (const InputFile& input : *inputs) {
            fs::path name = request.nameTemplate.empty()
                                ? input.outputStem
                                : fs::path(renderName(request.nameTemplate, request.tagsOf(input.path),
                                                      fs::path(input.path).stem().string()));
            name += ".mp3";
            items.push_back({input.path, (fs::path(outDirectory) / name).string()});
        }
    } else if (!output.empty()) {
        if (inputs->size() != 1) {
            error = "--output takes one input; use --out-dir for several";
            return std::nullopt;
        }
        items.push_back({(*inputs)[0].path, output});
    } else if (inputs->size() == 2) {
        items.push_back({(*inputs)[0].path, files[1]});
    } else {
        error = inputs->size() < 2 ? "encode needs an INPUT and an OUTPUT (or --output, or --out-dir DIR)"
                                   : "several inputs need --out-dir DIR";
        return std::nullopt;
    }
    // Each path made canonical once: a library has many thousands of files.
    std::set<fs::path> inputPaths;
    for (const BatchItem& item : items) {
        if (!isStandardStream(item.input)) {
            inputPaths.insert(canonicalOrAbsolute(item.input));
        }
    }
    std::map<fs::path, std::string> outputs;
    for (const BatchItem& item : items) {
        if (isStandardStream(item.output)) {
            continue;
        }
        const fs::path canonical = canonicalOrAbsolute(item.output);
        if (inputPaths.count(canonical) == 1) {
            error = item.output + ": the output would overwrite an input";
            return std::nullopt;
        }
        if (const auto [at, inserted] = outputs.emplace(canonical, item.input); !inserted) {
            error = item.output + ": both " + at->second + " and " + item.input + " would be written there";
            return std::nullopt;
        }
    }
    return items;
}

} // namespace cvnhost
