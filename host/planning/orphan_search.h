// What `--delete` may remove: the MP3 files below the output folder that cvnhost made (they carry a
// source marker) from a source that is none of the run's, and nothing else. Never an input of the
// run or anything below an input folder, never a file without a marker, never a planned output;
// and nothing at all when a folder that held sources is now empty (a disk mounted there, unmounted).
#pragma once

#include "planning/shard.h"
#include "tags/source_marker.h"
#include "track_records.h"

#include <filesystem>
#include <map>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace cvnhost {

// The sources of a run and their planned outputs, as source markers name them: by the path below
// the input folder and that folder's name; a marker of an earlier version, which has no folder
// name, by the path alone.
class RunSources {
  public:
    void add(const Track& item);
    bool holds(const SourceMarker& marker) const;
    // Whether the marker names `item`'s source (a marker of an earlier version by its path alone).
    static bool namesSourceOf(const SourceMarker& marker, const Track& item);
    // Whether `marker`, read from the file at `path`, makes that file the output of another of the
    // run's sources than `item`'s (its name now `item`'s: a retitle, a renumbering).
    bool holdsAnotherOutput(const SourceMarker& marker, const std::string& path, const Track& item) const;
    // The planned outputs (canonical) of the marker's source: one, or for a marker of an earlier
    // version as many as the run's sources of that path; none for a source that is not the run's.
    std::vector<std::filesystem::path> plannedOutputsOf(const SourceMarker& marker) const;

  private:
    std::map<std::pair<std::string, std::string>, std::filesystem::path> rooted_;
    std::multimap<std::string, std::filesystem::path> paths_;
};

// The outputs that --update takes for tracks whose planned paths are elsewhere (canonical): those
// this shard's tracks take (theirs to remove when left over), those other shards' take (never this
// shard's to remove), and the planned paths they are moved to.
struct OutputClaims {
    std::set<std::filesystem::path> byThisShard;
    std::set<std::filesystem::path> byOtherShards;
    std::set<std::filesystem::path> movedInto;
};

struct OrphanSearch {
    std::filesystem::path outDirectory;
    RunSources sources;
    std::set<std::filesystem::path> plannedOutputs; // canonical, of every track, also of other shards
    std::set<std::filesystem::path> inputFiles;     // canonical, of every track
    std::vector<std::filesystem::path> inputFolders;
    // An orphan belongs to one shard: the shard of the track that claimed it, else by its path
    // below the output folder.
    std::optional<Shard> shard;
    OutputClaims claims;
};

struct Orphans {
    // Sorted: the outputs whose sources are gone, and those of a source whose output stands at its
    // planned path (left by an earlier run under another name).
    std::vector<std::string> outputs;
    size_t duplicates = 0; // of `outputs`
    // Folders and files below the output folder that could not be read: orphans there are not known.
    std::vector<std::string> unreadable;
    // Files that carry a marker not their own (a tagger copied it there), kept, and their source.
    std::vector<std::pair<std::string, std::string>> notOwnMarkers;
    // Why nothing may be removed (a source folder that is empty now), or empty.
    std::string refusal;
};

// Calls `visit` with every regular file below `folder` whose name is `wanted`, one directory at a
// time in the order of their names, so that a folder that cannot be read is named in
// `unreadable`, not the end of the walk. Links are not followed: what they lead to is not the
// output folder's.
void walkFilesBelow(const std::filesystem::path& folder,
                    const std::function<bool(const std::filesystem::path&)>& wanted,
                    const std::function<void(const std::filesystem::path&)>& visit,
                    std::vector<std::string>& unreadable);

// The same for the MP3 files below `folder`.
void walkOutputFiles(const std::filesystem::path& folder,
                     const std::function<void(const std::filesystem::path&)>& visit,
                     std::vector<std::string>& unreadable);

// The absolute path without links, "." or "..", also for a path that does not exist yet: how the
// run's planned paths and the files found are compared.
std::filesystem::path canonicalPathOf(const std::filesystem::path& path);

// Whether `path` is `folder` or below it, both canonical.
bool isWithin(const std::filesystem::path& path, const std::filesystem::path& folder);

// Whether --delete must leave `path` (canonical): an input, or below an input folder (but for an
// output tree inside one, which the run does not read).
bool isProtected(const std::filesystem::path& path, const OrphanSearch& search);

Orphans findOrphans(const OrphanSearch& search);

} // namespace cvnhost
