// The tags of an input file, read with TagLib: FLAC and Ogg (Vorbis comments), Opus, MP3, WAV and
// AIFF (ID3v2, RIFF INFO) and the rest TagLib reads, every text and the front cover (or, when no
// picture says it is the front cover, the first picture).
#pragma once

#include "tags/track_tags.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cvnhost {

// Nothing when TagLib cannot read the file's tags at all.
std::optional<TrackTags> readInputTags(const std::string& path);

// Texts another reader found (a Matroska file's, read with FFmpeg), by TagLib's property names
// ("TITLE", "TRACKNUMBER", ...), made tags by the rules of readInputTags.
TrackTags tagsOfTexts(const std::vector<std::pair<std::string, std::string>>& texts);

// A cover image from a file of its own: PNG or JPEG, told by its first bytes. Nothing with the
// cause in `error` when it cannot be read or is neither.
std::optional<Picture> readCover(const std::string& path, std::string& error);

} // namespace cvnhost
