// Many tracks at once: N threads of one process, each taking the next track and running its own
// stream through the one bound plug-in. A failing track does not stop the others.
#pragma once

#include "encoding/encode_job.h"
#include "encoding/progress.h"
#include "track_records.h"

#include <vector>

namespace cvnhost {

// Encodes every item with up to `jobs` threads; the outcomes in the order of the items.
std::vector<TrackOutcome> encodeBatch(const PlugInHost& host, const std::vector<Track>& items,
                                      const EncodeOptions& options, unsigned jobs, Progress& progress,
                                      const std::atomic<bool>& stop);

} // namespace cvnhost
