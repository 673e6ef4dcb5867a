// The ID3v2.4 tag that cvnhost puts in front of a finished MP3 file, written with TagLib: the
// full UTF-8 texts, which modern players show, while the plug-in's ID3v1 tag stays at the end.
#pragma once

#include "track_tags.h"

#include <string>

namespace cvnhost {

// Adds the tag to the file at `path`; false with the cause in `error`.
bool writeId3v2Tag(const std::string& path, const TrackTags& tags, std::string& error);

} // namespace cvnhost
