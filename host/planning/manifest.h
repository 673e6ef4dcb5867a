// A manifest: the tracks of a run as JSON lines, one object a line, for the schedulers that hand a
// library out to many machines:
//   {"input": "flac/a.flac", "output": "mp3/a.mp3", "tags": {"title": "A", "track": "3/12"}}
// "output" may be left out (the track is then named as a file INPUT is, below --out-dir); a
// relative one lies below --out-dir when that is given. "tags" holds texts by the names of the
// tag options (title, artist, album, album-artist, genre, track, disc, date, comment), which beat
// the input's own. Blank lines are skipped.
#pragma once

#include "tags/track_tags.h"

#include <optional>
#include <string>
#include <vector>

namespace cvnhost {

struct ManifestEntry {
    std::string input;
    std::optional<std::string> output;
    TrackTags tags;
};

// The entries of the text, or nothing with the cause and its line in `error` ("NAME:3: ...").
std::optional<std::vector<ManifestEntry>> parseManifest(const std::string& text, const std::string& name,
                                                        std::string& error);

// The entries of the manifest file at `path` ("-": standard input).
std::optional<std::vector<ManifestEntry>> readManifest(const std::string& path, std::string& error);

} // namespace cvnhost
