// The outputs below --out-dir that carry a source marker, so that --update finds the output a
// source already has when its planned path is elsewhere: its tags renamed it, the template
// changed, or the source file was renamed or moved inside its input folder (the same audio).
#pragma once

#include "planning/orphan_search.h"
#include "tags/source_marker.h"
#include "track_records.h"

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cvnhost {

// An existing output claimed for a track, and how it was found.
struct ClaimedOutput {
    std::string path;
    bool byAudio = false; // its marker names another source, gone, of the same audio
};

class OutputIndex {
  public:
    // Every MP3 below `outDirectory` with a marker of its own, but for those at their own source's
    // planned path (one at another track's planned path is that other track's to move away).
    static OutputIndex of(const std::string& outDirectory, const RunSources& sources);

    // The output that names `item`'s source, or failing that one whose source is none of the
    // run's (`sources`) and whose audio digest is `item`'s; each output is claimed once.
    std::optional<ClaimedOutput> claimFor(const Track& item, const RunSources& sources);

  private:
    struct Entry {
        std::string path;
        SourceMarker marker;
        bool claimed = false;
    };
    std::vector<Entry> entries_;
};

} // namespace cvnhost
