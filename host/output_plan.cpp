#include "output_plan.h"

#include "output_name.h"
#include "standard_streams.h"

#include <algorithm>
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
        if (entry->path().filename().string().starts_with(".") && entry->is_directory()) {
            entry.disable_recursion_pending();
        }
        std::error_code typeError;
        if (entry->is_regular_file(typeError) && isAudioFileName(entry->path())) {
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
    const bool manifest = !request.manifest.empty();
    // Without --out-dir the last of two files is the output; a manifest has its outputs.
    std::vector<std::string> files = request.files;
    std::string pairedOutput = output;
    if (outDirectory.empty() && output.empty() && files.size() == 2) {
        pairedOutput = files.back();
        files.pop_back();
    }
    const std::optional<std::vector<InputFile>> inputs = expandFolders(files, !outDirectory.empty(), error);
    if (!inputs) {
        return std::nullopt;
    }
    // The name below --out-dir of a track that was given no output.
    const auto named = [&](const std::string& input, const fs::path& stem, const TrackTags& tags) {
        fs::path name = request.nameTemplate.empty()
                            ? stem
                            : fs::path(renderName(
                                  request.nameTemplate,
                                  mergeTags(request.givenTags, mergeTags(tags, request.inputTagsOf(input))),
                                  fs::path(input).stem().string()));
        name += ".mp3";
        return (fs::path(outDirectory) / name).string();
    };
    std::vector<BatchItem> items;
    if (!outDirectory.empty()) {
        for (const InputFile& input : *inputs) {
            items.push_back({input.path, named(input.path, input.outputStem, {}), {}});
        }
    } else if (!pairedOutput.empty() && inputs->size() == 1) {
        items.push_back({(*inputs)[0].path, pairedOutput, {}});
    } else if (!inputs->empty() || !manifest) {
        error = !output.empty() ? "--output takes one input; use --out-dir for several"
                : inputs->size() < 2
                    ? "encode needs an INPUT and an OUTPUT (or --output, or --out-dir DIR, or --manifest)"
                    : "several inputs need --out-dir DIR";
        return std::nullopt;
    }
    for (const ManifestEntry& entry : request.manifest) {
        if (isStandardStream(entry.input) && !entry.output) {
            error = "standard input (-) in the manifest needs an \"output\"";
            return std::nullopt;
        }
        if (!entry.output && outDirectory.empty()) {
            error = entry.input + ": a manifest track without an \"output\" needs --out-dir DIR";
            return std::nullopt;
        }
        const bool belowOutDirectory = entry.output && !outDirectory.empty() &&
                                       fs::path(*entry.output).is_relative() &&
                                       !isStandardStream(*entry.output);
        const std::string trackOutput =
            !entry.output
                ? named(entry.input, fs::path(entry.input).filename().replace_extension(), entry.tags)
            : belowOutDirectory ? (fs::path(outDirectory) / *entry.output).string()
                                : *entry.output;
        items.push_back({entry.input, trackOutput, entry.tags});
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
