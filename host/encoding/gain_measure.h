// ReplayGain for outputs that are retagged, not encoded, after the run's tag settings changed
// (--replaygain turned on, or from track to album): each track's loudness measured on its source's
// audio as the plug-in would take it, its peak on the output as a player decodes it, and with
// album gain each album's over its tracks: what an encode would give, without encoding.
#pragma once

#include "track_records.h"

#include <atomic>
#include <vector>

namespace cvnhost {

// Puts the values into each track's outcome.tags (REPLAYGAIN_*); a track that cannot be measured
// gets none, and a stop leaves the rest unmeasured. Decodes one track at a time.
void measureGainsForRetag(const std::vector<PlannedTrack*>& tracks, const EncodeOptions& options,
                          const std::atomic<bool>& stop);

} // namespace cvnhost
