// A library kept in step with its sources (`--update`, `--delete`), from the source marker in each
// output (source_marker.h): what changed since an output was made, and which outputs have lost
// their source.
#pragma once

#include "track_records.h"

#include <atomic>
#include <string>
#include <vector>

namespace cvnhost {

// What --update does with an output that exists.
enum class SyncAction {
    Keep,         // up to date, or not made by cvnhost (no marker)
    Encode,       // its audio or the run's settings changed
    Retag,        // its tags changed: the tag is written again
    UpdateMarker, // only the source's size or time changed (touched, copied, restored): the marker
                  // takes them, so that the next run tells it unchanged from a stat
};

struct SyncDecision {
    SyncAction action = SyncAction::Keep;
    bool newTagging = false; // a Retag because the run's tag settings changed
};

// The run's settings first (those of the audio encode, those of the tags retag); then size and
// time, which say "unchanged" at the cost of a stat; where they differ, the content decides (the
// audio digest, then the tags', as the run's given tags make them).
SyncDecision syncActionFor(const Track& item, const EncodeOptions& options);

// The tags of an existing output written again from `item`'s tags as they are now (outputTagsOf),
// its audio, its measured ReplayGain and the frames cvnhost did not write kept, through a temporary
// file renamed over it. False with the cause.
// `measured`: the run's tag settings changed, and these are the track's ReplayGain values as an
// encode would give them now; null: the output's own stay.
bool retagOutput(const Track& item, const EncodeOptions& options, const TrackTags* measured,
                 std::string& error);

// The output's marker given the source's size and time as they are now; every other byte of its
// tag stays. False with the cause.
bool updateMarkerOf(const Track& item, const EncodeOptions& options, std::string& error);

// An output renamed from `from` to `to` (its planned path, below `outDirectory`), never onto a file
// that exists, and the folders it leaves empty removed. False with the cause.
bool moveOutput(const std::string& from, const std::string& to, const std::string& outDirectory,
                std::string& error);

// What removing the orphans came to: a stop ends it before the next file.
struct Removal {
    size_t removed = 0;
    size_t notStarted = 0;             // left by a stop
    std::vector<std::string> failures; // each with its path and cause
};

// Removes `outputs` and the folders below `outDirectory` they leave empty, until `stop`. One that
// is gone already (another shard, or a user, was first) is no failure.
Removal removeOutputs(const std::vector<std::string>& outputs, const std::string& outDirectory,
                      const std::atomic<bool>& stop);

} // namespace cvnhost
