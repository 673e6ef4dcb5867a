// The records a run passes around: a track as planned, and where its bytes go.
#pragma once

#include "tags/track_tags.h"

#include <string>

namespace cvnhost {

struct BatchItem {
    std::string input;
    std::string output;
    TrackTags tags;      // the track's own, from a manifest: they beat the input's
    std::string partial; // where a file cut short is kept (--keep-partial), planned with the rest
    std::string album;   // its album's identity with --replaygain album (album_identity.h), or empty
    std::string source;  // the input's path below its input folder (its name, for a file given), or empty
};

// Where a track goes: its output, and where a file cut short is kept (empty: STEM.partial.EXT).
struct OutputPaths {
    std::string output;
    std::string partial;
};

} // namespace cvnhost
