// The plan of one `encode` run as the command line meets it: the planner asked (run_plan.h) and its
// usage errors said, the last decisions that name what they leave out (unwritable folders, lossy
// inputs, the orphans of --delete), and the dry run's listing.
#pragma once

#include "cli/encode_command.h"
#include "track_records.h"
#include "planning/manifest.h"
#include "planning/orphan_search.h"
#include "planning/run_plan.h"

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cvnhost {

// The run's tracks and what it does to each, planned as the command line asks; nothing after
// saying why (a usage error).
std::optional<RunTracks> planRun(const EncodeCommand& command, const std::vector<ManifestEntry>& manifest,
                                 const TrackTags& given, const EncodeOptions& options);

// Removes what runs killed outright left in the folders this run writes to, and says so once; a dry
// run lists them ("remove stale temporary PATH") and removes nothing.
void removeAbandonedTemporariesOf(const RunTracks& run, const std::string& report, bool quiet, bool dryRun);

// The tracks whose output the plan does not move into place (a file cvnhost did not make stands
// there), each named; how many.
size_t nameRefusedMoves(const RunTracks& run);

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
