// The run's planner: what one `encode` run does to each of its tracks, decided before the first
// encode (encoded, kept, retagged, marked, moved), with every path the run writes checked.
#pragma once

#include "planning/manifest.h"
#include "planning/orphan_search.h"
#include "planning/shard.h"
#include "track_records.h"

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cvnhost {

// What the planner is asked, as the command line gives it.
struct RunRequest {
    std::vector<std::string> files;
    std::string output;       // --output
    std::string outDirectory; // --out-dir
    std::string nameTemplate; // --name
    std::string manifest;
    std::string report;
    std::optional<Shard> shard;
    bool keepPartial = false;
    bool overwrite = false;
    bool update = false;
    bool albumGain = false; // --replaygain album
    // The names a device takes (name_rules.h); a length of 0 is what the file system takes.
    bool fatNames = false;
    bool asciiNames = false;
    size_t nameMax = 0;
    size_t pathMax = 0;
};

// The tracks of this run (its shard), each with what the run does to it, the paths it writes
// checked before any work.
struct RunTracks {
    std::vector<PlannedTrack> tracks;
    std::vector<std::string> unreadable;
    // Outputs that exist but are encoded again: their album has tracks to encode, and an album's
    // gain is measured over all of its tracks.
    size_t encodedAgainForAlbum = 0;
    size_t lossyEncoded = 0; // lossy inputs among those encoded
    // Of every track planned, also of other shards: what --delete keeps.
    RunSources allSources;
    std::set<std::filesystem::path> allOutputs; // canonical
    std::set<std::filesystem::path> allInputs;  // canonical
    OutputClaims claims;
    // Links to folders left out, said before any work.
    std::vector<std::string> notes;

    size_t count(PlannedTrack::Action action) const;
    // The items of the tracks with this action, in their order.
    std::vector<Track> itemsFor(PlannedTrack::Action action) const;
    // The tracks with this action, in their order.
    std::vector<PlannedTrack*> tracksFor(PlannedTrack::Action action);
    std::vector<const PlannedTrack*> tracksFor(PlannedTrack::Action action) const;
};

// The run's tracks and what it does to each, or nothing with the usage error in `usageError`.
std::optional<RunTracks> planTracks(const RunRequest& request, const std::vector<ManifestEntry>& manifest,
                                    const TrackTags& given, const EncodeOptions& options,
                                    std::string& usageError);

} // namespace cvnhost
