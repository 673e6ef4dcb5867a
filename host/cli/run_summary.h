// The line that ends a run that is not quiet: how many tracks were encoded and as what, the
// albums measured, and what became of the others.
#pragma once

#include "cli/encode_plan.h"
#include "encoding/encode_job.h"

#include <vector>

namespace cvnhost {

// What became of the tracks that were not encoded.
struct RunCounts {
    size_t skipped = 0;  // their outputs exist (a run without --update does not tell if they are up to date)
    size_t upToDate = 0; // --update: their outputs are as the run would make them
    size_t retagged = 0; // --update: tags written again
    size_t moved = 0;    // --update: put at the path the run plans for their sources
    size_t removed = 0;  // --delete
    size_t duplicatesRemoved = 0; // of `removed`: their sources have their outputs at their planned paths
    size_t copied = 0;            // --lossy copy
    size_t playlists = 0;         // --playlists: written into the copy
    size_t playlistsRemoved = 0;  // --playlists with --delete: their sources are gone
};

// On standard error, when there is something to say: more than one track, a failure, a mono
// default, or tracks that were not encoded.
void printRunSummary(const RunTracks& run, const EncodeOptions& options, const RunCounts& counts,
                     size_t failed);

// The line that ends a dry run: what the run would do (remove `removals` outputs and playlists,
// write `playlists`), and of how many inputs.
void printPlanSummary(const RunTracks& run, size_t removals, size_t playlists);

} // namespace cvnhost
