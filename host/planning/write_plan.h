// Every path a run of `cvnhost encode` will write, checked together before the first track is
// encoded: the outputs, the partial files of --keep-partial and the --report file. None may be an
// input (by path, link or hard link), the manifest, another planned path, or outside --out-dir
// where one is given; none may be anything but a regular file, a link to one, or a new file.
// "-" is standard input or output everywhere, and each may be used once per run.
#pragma once

#include "track_records.h"

#include <string>
#include <vector>

namespace cvnhost {

struct WriteRules {
    std::string outDirectory; // outputs stay below it; empty: anywhere
    std::string manifest;     // read, never written
    std::string report;       // written too; empty: none
    bool keepPartial = false; // each track written gets a partial name that is free
};

// Checks the tracks' paths and the report's, and gives each track in `written` (indices into
// `tracks`) its partial name. False with the usage error in `error`.
bool planWrites(std::vector<Track>& tracks, const std::vector<size_t>& written, const WriteRules& rules,
                std::string& error);

} // namespace cvnhost
