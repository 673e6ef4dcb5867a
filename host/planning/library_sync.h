// A library kept in step with its sources (`--update`, `--delete`), from the source marker in each
// output (source_marker.h): what changed since an output was made, and which outputs have lost
// their source.
#pragma once

#include "track_records.h"
#include "track_records.h"

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace cvnhost {

// What --update does with an output that exists.
enum class SyncAction {
    Keep,   // up to date, or not made by cvnhost (no marker)
    Encode, // its audio or the run's settings changed
    Retag,  // its tags changed, or only the source's time: the tag is written again
};

// Size and time first, which say "unchanged" at the cost of a stat; where they differ, the
// content decides (the audio digest, then the tags').
SyncAction syncActionFor(const BatchItem& item, const std::string& settingsDigest);

// The tags of an existing output written again from `item`'s tags as they are now, its audio and
// its measured ReplayGain kept, through a temporary file renamed over it. False with the cause.
bool retagOutput(const BatchItem& item, const EncodeOptions& options, std::string& error);

// The MP3 files below `outDirectory` that cvnhost made (they carry a source marker) from a source
// that is none of `sources`, and that are not among `planned` (canonical paths); a user's own files,
// without a marker, are never among them.
std::vector<std::string> orphanOutputs(const std::string& outDirectory, const std::set<std::string>& sources,
                                       const std::set<std::filesystem::path>& planned);

// Removes `outputs` and the folders below `outDirectory` they leave empty; the paths that could not
// be removed, with their causes.
std::vector<std::string> removeOutputs(const std::vector<std::string>& outputs,
                                       const std::string& outDirectory);

} // namespace cvnhost
