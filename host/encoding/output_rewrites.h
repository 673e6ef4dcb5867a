// What keeping a copy in step writes into it besides the encodes (library_sync.h decides): tags
// written again, a marker renewed, an output moved into place, the outputs of sources that are
// gone removed.
#pragma once

#include "track_records.h"

#include <atomic>
#include <string>
#include <vector>

namespace cvnhost {

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
// that exists unless `replacing` (an older output of another track, which that track does not move),
// and the folders it leaves empty removed. False with the cause.
bool moveOutput(const std::string& from, const std::string& to, const std::string& outDirectory,
                std::string& error, bool replacing = false);

// What removing the orphans came to: a stop ends it before the next file.
struct Removal {
    std::vector<std::string> removed;
    size_t notStarted = 0;             // left by a stop
    std::vector<std::string> failures; // each with its path and cause
};

// The output at `path` renamed to a hidden name beside it, out of the way of a move onto its path
// (outputs that swap names); nothing, with the cause in `error`, when it cannot be. An MP3 still,
// so that a run stopped before it moves on finds it again by its marker.
std::optional<std::string> stepAside(const std::string& path, std::string& error);

// Removes `outputs` and the folders below `outDirectory` they leave empty, until `stop`. One that
// is gone already (another shard, or a user, was first) is no failure.
Removal removeOutputs(const std::vector<std::string>& outputs, const std::string& outDirectory,
                      const std::atomic<bool>& stop);

} // namespace cvnhost
