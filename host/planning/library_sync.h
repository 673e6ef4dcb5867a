// A library kept in step with its sources (`--update`), from the source marker in each output
// (source_marker.h): what changed since an output was made, and so what a run does to it. What it
// then writes is encoding/output_rewrites.h's.
#pragma once

#include "tags/source_marker.h"
#include "track_records.h"

#include <optional>

#include <string>

namespace cvnhost {

// What --update does with an output that exists.
enum class SyncAction {
    Keep,         // up to date
    NotMade,      // a file cvnhost did not make (no marker, or one copied onto it): left as it is
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
// The same with the marker of the track's output, read already (nothing for a file without one).
SyncDecision syncActionFor(const Track& item, const EncodeOptions& options,
                           const std::optional<SourceMarker>& marker);

} // namespace cvnhost
