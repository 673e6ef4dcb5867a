// What one `encode` run does to each of its tracks, planned before the first encode: which are
// encoded, kept, retagged, copied or left out, with every path the run writes checked.
#pragma once

#include "cli/encode_command.h"
#include "track_records.h"
#include "planning/manifest.h"
#include "planning/orphan_search.h"

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cvnhost {

// The tracks of this run (its shard), each with what the run does to it, the paths it writes
// checked before any work; nothing after saying why (a usage error).
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
    // Links to folders left out, said before any work.
    std::vector<std::string> notes;

    size_t count(PlannedTrack::Action action) const;
    // The items of the tracks with this action, in their order.
    std::vector<Track> itemsFor(PlannedTrack::Action action) const;
    // The tracks with this action, in their order.
    std::vector<PlannedTrack*> tracksFor(PlannedTrack::Action action);
    std::vector<const PlannedTrack*> tracksFor(PlannedTrack::Action action) const;
};

std::optional<RunTracks> planTracks(const EncodeCommand& command, const std::vector<ManifestEntry>& manifest,
                                    const TrackTags& given, const EncodeOptions& options);

// Removes what runs killed outright left in the folders this run writes to, and says so once; a dry
// run lists them ("remove stale temporary PATH") and removes nothing.
void removeAbandonedTemporariesOf(const RunTracks& run, const std::string& report, bool quiet, bool dryRun);

// The tracks whose output folder cannot be written, said once a folder and taken out of the run;
// how many.
size_t refuseUnwritableFolders(RunTracks& run);

// Decides for the tracks to write by their codecs: a lossy one is encoded (and counted), copied (an MP3
// with --lossy copy, or with fit one of at most `fitKbps`) or left out and named (--lossy skip).
void decideLossyInputs(RunTracks& run, const std::string& mode, int fitKbps, bool quiet);

// --delete: the outputs whose source is gone; nothing, after saying why, when that cannot be told.
std::optional<Orphans> orphansOf(const RunTracks& run, const EncodeCommand& command);

// --dry-run: what the run would do, one line each on standard output; it does none of it.
int showPlan(const RunTracks& run, const EncodeCommand& command);

} // namespace cvnhost
