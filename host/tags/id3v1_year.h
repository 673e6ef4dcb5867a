// The year of the plug-in's ID3v1 tag, which the plug-in leaves empty: its CVN_TrackInfo has no year.
// cvnhost fills it from the track's date, so that a player that reads only ID3v1 shows it too.
#pragma once

#include "tags/track_tags.h"

#include <optional>
#include <string>

namespace cvnhost {

// The four digits that begin the track's DATE (or YEAR), when it has them.
std::optional<std::string> id3v1YearOf(const TrackTags& tags);

// Writes `year` into the empty year field of the ID3v1 tag at the end of the file; leaves a file
// without such a tag as it is. False with the cause in `error` when the file cannot be written.
bool setId3v1Year(const std::string& path, const std::string& year, std::string& error);

} // namespace cvnhost
