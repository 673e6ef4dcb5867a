// Many tracks at once: N threads of one process, each taking the next track and running its own
// stream through the one bound plug-in. A failing track does not stop the others.
#pragma once

#include "encode_job.h"
#include "progress.h"

#include <vector>

namespace cvnhost {

struct BatchItem {
    std::string input;
    std::string output;
    TrackTags tags;      // the track's own, from a manifest: they beat the input's
    std::string partial; // where a file cut short is kept (--keep-partial), planned with the rest
    std::string album;   // its album's identity with --replaygain album (album_identity.h), or empty
};

// Encodes every item with up to `jobs` threads; the outcomes in the order of the items.
std::vector<TrackOutcome> encodeBatch(const PlugInHost& host, const std::vector<BatchItem>& items,
                                      const EncodeOptions& options, unsigned jobs, Progress& progress,
                                      const std::atomic<bool>& stop);

} // namespace cvnhost
