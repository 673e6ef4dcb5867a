#include "planning/orphan_search.h"

#include "planning/output_plan.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>

namespace cvnhost {

namespace {

namespace fs = std::filesystem;

// The folder a marker's source was in, below the input folder of its name, when the marker names
// one plainly: a forged marker ("..", an absolute path) is only compared, never followed.
std::optional<fs::path> sourceFolderOf(const SourceMarker& marker, const fs::path& inputFolder) {
    const fs::path source(marker.source);
    const fs::path folder = source.parent_path();
    if (source.is_absolute() || folder.empty() || source.lexically_normal() != source ||
        std::any_of(source.begin(), source.end(), [](const fs::path& part) { return part == ".."; })) {
        return std::nullopt;
    }
    return inputFolder / folder;
}

// The folder of `folder` and those above it up to `inputFolder` that is there, the nearest first;
// nothing when none is.
std::optional<fs::path> nearestFolderThere(fs::path folder, const fs::path& inputFolder) {
    for (;; folder = folder.parent_path()) {
        std::error_code error;
        if (fs::is_directory(folder, error)) {
            return folder;
        }
        if (folder == inputFolder || !isWithin(folder, inputFolder) || folder == folder.parent_path()) {
            return std::nullopt;
        }
    }
}

// A folder that held the sources of orphans, or the folders they were in, and is empty now: more
// likely a disk that is not mounted (at it, or at a folder that held their folders) than an album
// deleted, which takes its folder with it.
std::string emptySourceFolder(const std::vector<SourceMarker>& markers, const OrphanSearch& search) {
    std::map<fs::path, size_t> sourcesOf;
    for (const SourceMarker& marker : markers) {
        for (const fs::path& inputFolder : search.inputFolders) {
            if (marker.root && *marker.root != inputFolder.filename().string()) {
                continue;
            }
            const std::optional<fs::path> folder = sourceFolderOf(marker, inputFolder);
            if (const std::optional<fs::path> there =
                    folder ? nearestFolderThere(*folder, inputFolder) : std::nullopt) {
                ++sourcesOf[*there];
            }
        }
    }
    for (const auto& [folder, count] : sourcesOf) {
        std::error_code error;
        if (fs::is_empty(folder, error) && !error) {
            return folder.string() + " is empty, but held the sources of " + std::to_string(count) +
                   " output(s) (a disk not mounted?)";
        }
    }
    return {};
}

struct OrphanWalk {
    const OrphanSearch& search;
    Orphans found;
    std::vector<SourceMarker> markers;
};

// Whether `planned` holds an output cvnhost made of the marker's source.
bool holdsOutputOf(const fs::path& planned, const SourceMarker& marker, const OrphanSearch& search) {
    if (search.claims.movedInto.count(planned) != 0) {
        return true; // once moved there: a dry run, or a move another shard makes
    }
    const std::optional<SourceMarker> there = readMarker(planned.string());
    return there && there->source == marker.source &&
           (!there->root || !marker.root || *there->root == *marker.root);
}

void considerOutput(OrphanWalk& walk, const fs::path& path) {
    const OrphanSearch& search = walk.search;
    const fs::path real = canonicalPathOf(path);
    if (search.plannedOutputs.count(real) != 0 || search.claims.byOtherShards.count(real) != 0 ||
        isProtected(real, search)) {
        return;
    }
    if (search.shard && search.claims.byThisShard.count(real) == 0 &&
        !belongsToShard(path.lexically_relative(search.outDirectory).string(), *search.shard)) {
        return;
    }
    // A file that cannot be read may be an orphan or not: unknown, as below a folder not read.
    if (access(path.c_str(), R_OK) != 0) {
        walk.found.unreadable.push_back(path.string() + ": cannot be read: " + std::strerror(errno));
        return;
    }
    const std::optional<SourceMarker> marker = readMarker(path.string());
    if (!marker) {
        return;
    }
    if (!isOwnMarker(*marker, path.string())) {
        walk.found.notOwnMarkers.emplace_back(path.string(),
                                              (marker->root ? *marker->root + "/" : "") + marker->source);
        return;
    }
    const std::vector<fs::path> planned = search.sources.plannedOutputsOf(*marker);
    const bool duplicate =
        !planned.empty() && std::any_of(planned.begin(), planned.end(), [&](const fs::path& at) {
            return holdsOutputOf(at, *marker, search);
        });
    if (planned.empty() || duplicate) {
        walk.found.outputs.push_back(path.string());
        walk.found.duplicates += duplicate ? 1 : 0;
        walk.markers.push_back(*marker);
    }
}

} // namespace

void walkFilesBelow(const fs::path& folder, const std::function<bool(const fs::path&)>& wanted,
                    const std::function<void(const fs::path&)>& visit, std::vector<std::string>& unreadable) {
    std::error_code error;
    std::vector<fs::path> subfolders;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        std::error_code typeError;
        if (entry->is_symlink(typeError)) {
            continue;
        }
        if (entry->is_directory(typeError)) {
            subfolders.push_back(entry->path());
        } else if (entry->is_regular_file(typeError) && wanted(entry->path())) {
            visit(entry->path());
        }
    }
    // A folder that is not there holds nothing to remove: the first run into a new card, say.
    if (error && error != std::errc::no_such_file_or_directory) {
        unreadable.push_back(folder.string() + ": cannot be read: " + error.message());
    }
    std::sort(subfolders.begin(), subfolders.end());
    for (const fs::path& subfolder : subfolders) {
        walkFilesBelow(subfolder, wanted, visit, unreadable);
    }
}

void walkOutputFiles(const fs::path& folder, const std::function<void(const fs::path&)>& visit,
                     std::vector<std::string>& unreadable) {
    walkFilesBelow(folder, hasMp3Extension, visit, unreadable);
}

void RunSources::add(const Track& item) {
    const fs::path output = canonicalPathOf(item.output);
    paths_.emplace(item.source, output);
    if (item.root) {
        rooted_.emplace(std::make_pair(*item.root, item.source), output);
    }
}

bool RunSources::holds(const SourceMarker& marker) const {
    return marker.root ? rooted_.count({*marker.root, marker.source}) != 0 : paths_.count(marker.source) != 0;
}

bool RunSources::namesSourceOf(const SourceMarker& marker, const Track& item) {
    return marker.source == item.source && (!marker.root || marker.root == item.root);
}

bool RunSources::holdsAnotherOutput(const SourceMarker& marker, const std::string& path,
                                    const Track& item) const {
    return holds(marker) && !namesSourceOf(marker, item) && isOwnMarker(marker, path);
}

std::vector<fs::path> RunSources::plannedOutputsOf(const SourceMarker& marker) const {
    std::vector<fs::path> outputs;
    if (marker.root) {
        if (const auto found = rooted_.find({*marker.root, marker.source}); found != rooted_.end()) {
            outputs.push_back(found->second);
        }
        return outputs;
    }
    for (auto [at, end] = paths_.equal_range(marker.source); at != end; ++at) {
        outputs.push_back(at->second);
    }
    return outputs;
}

fs::path canonicalPathOf(const fs::path& path) {
    std::error_code error;
    return fs::weakly_canonical(fs::absolute(path, error), error);
}

bool isWithin(const fs::path& path, const fs::path& folder) {
    const auto [folderEnd, pathEnd] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return folderEnd == folder.end() || (std::next(folderEnd) == folder.end() && folderEnd->empty());
}

bool isProtected(const fs::path& path, const OrphanSearch& search) {
    if (search.inputFiles.count(path) != 0) {
        return true;
    }
    const fs::path outputs = canonicalPathOf(search.outDirectory);
    return std::any_of(search.inputFolders.begin(), search.inputFolders.end(), [&](const fs::path& folder) {
        const bool outputTreeInside = outputs != folder && isWithin(outputs, folder);
        return isWithin(path, folder) && !(outputTreeInside && isWithin(path, outputs));
    });
}

Orphans findOrphans(const OrphanSearch& search) {
    OrphanWalk walk{search, {}, {}};
    walkOutputFiles(
        search.outDirectory, [&](const fs::path& path) { considerOutput(walk, path); },
        walk.found.unreadable);
    std::sort(walk.found.outputs.begin(), walk.found.outputs.end());
    walk.found.refusal = emptySourceFolder(walk.markers, search);
    return std::move(walk.found);
}

} // namespace cvnhost
