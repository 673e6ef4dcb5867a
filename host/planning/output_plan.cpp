#include "planning/output_plan.h"

#include "planning/name_clashes.h"
#include "planning/output_name.h"
#include "files/standard_streams.h"

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
    bool foundInFolder = false;
    std::string source; // the path below its folder input, or the file's name
    std::string root;   // the name of that folder, or of the one that holds the file
};

// The name of a folder as a source marker keeps it: its own, whatever spelling led to it.
std::string folderNameOf(const fs::path& folder) {
    std::error_code error;
    const fs::path real = fs::weakly_canonical(fs::absolute(folder, error), error);
    return real.filename().string();
}

// One folder input being read: what was found, and every real folder read so far, so that links
// to folders are followed and none is read twice (a link back up the tree is a loop).
struct FolderWalk {
    fs::path root;
    fs::path realRoot; // without links
    std::string rootName;
    fs::path outputTree;
    std::set<fs::path> read;
    std::vector<InputFile> found;
    std::vector<std::string>& unreadable;
    std::vector<std::string>& notes;
};

void walkFolder(FolderWalk& walk, const fs::path& folder);

// The subfolders of one folder: the real ones first, so that a link to one of them is the one left
// out; hidden ones and the output tree (an --out-dir inside the input folder) not at all.
// Whether the real folder is one the walk reads under its own name: below its root, hidden by
// no part of its path.
bool readUnderItsOwnName(const FolderWalk& walk, const fs::path& real) {
    const fs::path below = real.lexically_relative(walk.realRoot);
    return !below.empty() && std::none_of(below.begin(), below.end(), [](const fs::path& part) {
        return part == ".." || part.string().starts_with(".");
    });
}

void walkSubfolders(FolderWalk& walk, std::vector<fs::path>& real, std::vector<fs::path>& links) {
    std::sort(real.begin(), real.end());
    std::sort(links.begin(), links.end());
    // A link to a folder of the same tree is left out: that folder's outputs follow its own path.
    std::erase_if(links, [&](const fs::path& link) {
        std::error_code error;
        const fs::path target = fs::canonical(link, error);
        if (error || !readUnderItsOwnName(walk, target)) {
            return false;
        }
        walk.notes.push_back(link.string() + ": a link to " + target.string() +
                             ", which is read under its own name: left out");
        return true;
    });
    real.insert(real.end(), links.begin(), links.end());
    for (const fs::path& subfolder : real) {
        std::error_code sameError;
        if (walk.outputTree.empty() || !fs::equivalent(subfolder, walk.outputTree, sameError)) {
            walkFolder(walk, subfolder);
        }
    }
}

// Reads `folder` one directory at a time, so that a subfolder that cannot be read is named and the
// rest still found.
void walkFolder(FolderWalk& walk, const fs::path& folder) {
    std::error_code error;
    const fs::path real = fs::canonical(folder, error);
    if (!error && !walk.read.insert(real).second) {
        walk.notes.push_back(folder.string() + ": a link to " + real.string() +
                             ", which is read already: left out");
        return;
    }
    fs::directory_iterator entry(folder, error);
    std::vector<fs::path> subfolders;
    std::vector<fs::path> links;
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        const fs::path& path = entry->path();
        std::error_code typeError;
        if (entry->is_directory(typeError)) {
            if (!path.filename().string().starts_with(".")) {
                (entry->is_symlink(typeError) ? links : subfolders).push_back(path);
            }
        } else if (entry->is_symlink(typeError) && !entry->exists(typeError)) {
            // A folder moved to another disk and linked back, that disk unmounted: what it held is
            // not gone, only out of reach.
            walk.unreadable.push_back(path.string() + ": a link to " +
                                      fs::read_symlink(path, typeError).string() + ", which does not exist");
        } else if (isAudioFileName(path)) {
            if (entry->is_regular_file(typeError)) {
                const fs::path relative = path.lexically_relative(walk.root);
                walk.found.push_back({path.string(), fs::path(relative).replace_extension(), true,
                                      relative.string(), walk.rootName});
            } else if (typeError) {
                walk.unreadable.push_back(path.string() + ": cannot be read: " + typeError.message());
            }
        }
    }
    if (error) {
        walk.unreadable.push_back(folder.string() + ": cannot be read: " + error.message());
    }
    walkSubfolders(walk, subfolders, links);
}

// The audio files below `folder`, sorted by path, so that every run sees them in one order.
std::vector<InputFile> audioFilesIn(const fs::path& folder, const fs::path& outputTree,
                                    std::vector<std::string>& unreadable, std::vector<std::string>& notes) {
    std::error_code error;
    FolderWalk walk{folder,
                    fs::weakly_canonical(fs::absolute(folder, error), error),
                    folderNameOf(folder),
                    outputTree,
                    {},
                    {},
                    unreadable,
                    notes};
    walkFolder(walk, folder);
    std::sort(walk.found.begin(), walk.found.end(),
              [](const InputFile& a, const InputFile& b) { return a.path < b.path; });
    return std::move(walk.found);
}

// The files, folders expanded; nothing with the error when a folder has no --out-dir to mirror
// into or holds no audio file that could be read.
std::optional<std::vector<InputFile>> expandFolders(const std::vector<std::string>& files,
                                                    const std::string& outDirectory, PlannedTracks& planned,
                                                    std::string& error) {
    std::vector<std::string>& unreadable = planned.unreadable;
    std::vector<InputFile> inputs;
    for (const std::string& file : files) {
        std::error_code typeError;
        if (isStandardStream(file) && !outDirectory.empty()) {
            error = "standard input (-) is one track: it needs an OUTPUT (or --output), not --out-dir";
            return std::nullopt;
        }
        if (!fs::is_directory(file, typeError)) {
            const fs::path folder = fs::path(file).parent_path();
            inputs.push_back({file, fs::path(file).filename().replace_extension(), false,
                              fs::path(file).filename().string(),
                              folderNameOf(folder.empty() ? "." : folder)});
            continue;
        }
        if (outDirectory.empty()) {
            error = file + " is a folder: its files need --out-dir DIR, where its tree is mirrored";
            return std::nullopt;
        }
        const size_t problems = unreadable.size();
        std::vector<InputFile> found = audioFilesIn(file, outDirectory, unreadable, planned.notes);
        if (found.empty()) {
            error =
                file + ": no audio files in this folder or below it" +
                (unreadable.size() > problems ? " that could be read (" + unreadable[problems] + ")" : "");
            return std::nullopt;
        }
        inputs.insert(inputs.end(), std::make_move_iterator(found.begin()),
                      std::make_move_iterator(found.end()));
    }
    return inputs;
}

// A file found in a folder that is the output of another track (an --out-dir that is the input
// folder itself) is that run's work, not an input.
void leaveOutOutputs(std::vector<Track>& items, const std::vector<bool>& foundInFolder) {
    std::set<fs::path> outputs;
    for (const Track& item : items) {
        std::error_code error;
        outputs.insert(fs::weakly_canonical(item.output, error));
    }
    std::vector<Track> kept;
    for (size_t i = 0; i < items.size(); ++i) {
        std::error_code error;
        if (!foundInFolder[i] || outputs.count(fs::weakly_canonical(items[i].input, error)) == 0) {
            kept.push_back(std::move(items[i]));
        }
    }
    items = std::move(kept);
}

} // namespace

bool hasMp3Extension(const fs::path& name) {
    std::string extension = name.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".mp3";
}

std::string besideAsMp3(const std::string& input) {
    fs::path output(input);
    if (hasMp3Extension(output)) {
        return input + ".mp3";
    }
    return output.replace_extension(".mp3").string();
}

namespace {

// The usage errors of --output, --out-dir and --name together.
bool outputOptionsAgree(const OutputRequest& request, std::string& error) {
    if (!request.outDirectory.empty() && !request.output.empty()) {
        error = "--output and --out-dir exclude each other";
        return false;
    }
    if (!request.nameTemplate.empty() && request.outDirectory.empty()) {
        error = "--name needs --out-dir DIR, below which the names are made";
        return false;
    }
    return true;
}

// The output of the one input given without --out-dir: --output, the last of two files (which is
// then taken out of `files`), or beside a lone input as the encoder project's program writes it.
std::string pairedOutputOf(const OutputRequest& request, std::vector<std::string>& files) {
    if (!request.outDirectory.empty() || !request.output.empty()) {
        return request.output;
    }
    if (files.size() == 2) {
        std::string output = files.back();
        files.pop_back();
        return output;
    }
    if (files.size() == 1 && request.manifest.empty() && !isStandardStream(files[0]) &&
        !fs::is_directory(files[0])) {
        return besideAsMp3(files[0]);
    }
    return {};
}

// The name below --out-dir of a track that was given no output: its stem, or with --name the name
// its tags make.
std::string nameBelowOutDirectory(const OutputRequest& request, const Track& item, const fs::path& stem) {
    fs::path name = stem;
    if (!request.nameTemplate.empty()) {
        const TrackTags tags =
            mergeTags(request.givenTags, mergeTags(item.tags, request.inputTagsOf(item.input)));
        name = renderName(request.nameTemplate, tags, fs::path(item.input).stem().string());
    }
    if (!hasMp3Extension(name)) {
        name += ".mp3"; // a template that ends in .mp3 is not extended again
    }
    return (fs::path(request.outDirectory) / followNameRules(name.string(), request.nameRules)).string();
}

// The track whose source the file's marker names, if the run has it (name_clashes.h).
std::optional<size_t> ownerOf(const OutputRequest& request, const std::vector<Track>& items,
                              const std::string& file) {
    const std::optional<SourceMarker> marker = request.markerOf ? request.markerOf(file) : std::nullopt;
    for (size_t i = 0; marker && i < items.size(); ++i) {
        if (items[i].source == marker->source && (!marker->root || marker->root == items[i].root)) {
            return i;
        }
    }
    return marker ? std::optional<size_t>(kMadeForNoTrack) : std::nullopt;
}

// The names cvnhost made below --out-dir (`named`), told apart where they are one under folding.
void tellNamesApart(const OutputRequest& request, std::vector<Track>& items, const std::vector<bool>& named) {
    const fs::path top(request.outDirectory);
    const auto inTop = [&](const std::string& relative) { return (top / relative).string(); };
    // Without a look at what stands there (a plan made in memory), only the run's names are told apart.
    NameClaims claims(request.nameRules,
                      {[&](const std::string& folder) {
                           return request.namesIn ? request.namesIn(inTop(folder))
                                                  : std::vector<std::string>{};
                       },
                       [&](const std::string& file) { return ownerOf(request, items, inTop(file)); }});
    for (size_t i = 0; i < items.size(); ++i) {
        if (named[i]) {
            const std::string relative = fs::path(items[i].output).lexically_relative(top).string();
            items[i].output = inTop(claims.claim(relative, i));
        }
    }
}

// The manifest's tracks, after the files; false with the usage error.
bool addManifestTracks(const OutputRequest& request, std::vector<Track>& items,
                       std::vector<bool>& foundInFolder, std::vector<bool>& named, std::string& error) {
    const std::string& outDirectory = request.outDirectory;
    for (const ManifestEntry& entry : request.manifest) {
        if (isStandardStream(entry.input) && !entry.output) {
            error = "standard input (-) in the manifest needs an \"output\"";
            return false;
        }
        if (!entry.output && outDirectory.empty()) {
            error = entry.input + ": a manifest track without an \"output\" needs --out-dir DIR";
            return false;
        }
        Track item{entry.input, {}, entry.tags, {}, {}, entry.input, std::nullopt, {}, {}};
        const bool belowOutDirectory = entry.output && !outDirectory.empty() &&
                                       fs::path(*entry.output).is_relative() &&
                                       !isStandardStream(*entry.output);
        item.output =
            !entry.output
                ? nameBelowOutDirectory(request, item, fs::path(entry.input).filename().replace_extension())
            : belowOutDirectory ? (fs::path(outDirectory) / *entry.output).string()
                                : *entry.output;
        items.push_back(std::move(item));
        foundInFolder.push_back(false);
        named.push_back(!entry.output);
    }
    return true;
}

} // namespace

std::optional<PlannedTracks> planOutputs(const OutputRequest& request, std::string& error) {
    if (!outputOptionsAgree(request, error)) {
        return std::nullopt;
    }
    std::vector<std::string> files = request.files;
    const std::string pairedOutput = pairedOutputOf(request, files);
    PlannedTracks planned;
    const std::optional<std::vector<InputFile>> inputs =
        expandFolders(files, request.outDirectory, planned, error);
    if (!inputs) {
        return std::nullopt;
    }
    std::vector<Track>& items = planned.tracks;
    std::vector<bool> foundInFolder;
    std::vector<bool> named; // by nameBelowOutDirectory
    if (!request.outDirectory.empty()) {
        for (const InputFile& input : *inputs) {
            Track item{input.path, {}, {}, {}, {}, input.source, input.root, {}, {}};
            item.output = nameBelowOutDirectory(request, item, input.outputStem);
            items.push_back(std::move(item));
            foundInFolder.push_back(input.foundInFolder);
        }
        named.assign(items.size(), true);
    } else if (!pairedOutput.empty() && inputs->size() == 1) {
        items.push_back(
            {(*inputs)[0].path, pairedOutput, {}, {}, {}, (*inputs)[0].source, (*inputs)[0].root, {}, {}});
        foundInFolder.push_back(false);
        named.push_back(false);
    } else if (!inputs->empty() || request.manifest.empty()) {
        error = !request.output.empty() ? "--output takes one input; use --out-dir for several"
                : inputs->size() < 2
                    ? "encode needs an INPUT and an OUTPUT (or --output, or --out-dir DIR, or --manifest)"
                    : "several inputs need --out-dir DIR";
        return std::nullopt;
    }
    if (!addManifestTracks(request, items, foundInFolder, named, error)) {
        return std::nullopt;
    }
    tellNamesApart(request, items, named);
    leaveOutOutputs(items, foundInFolder);
    return planned;
}

} // namespace cvnhost
