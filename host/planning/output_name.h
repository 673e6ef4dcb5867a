// Output names from tags: `--name '%albumartist%/%album%/%disc+-%%track% - %title%'`.
//
// A placeholder is %NAME%, %NAME:DIGITS% (a number zero-padded to DIGITS) or %NAME|FALLBACK% (the
// text for a missing tag). The names: title (fallback: the input's file name), artist,
// albumartist (fallback: the artist), album, genre, year, date, track (two digits), tracktotal,
// disc (one digit), disctotal, composer and filename (the input's name without its extension).
// Without a FALLBACK a missing text is "Unknown Artist", "Unknown Album", ... and a missing number
// 0. "%%" is a percent sign. A slash in the template makes a folder; in a tag's text, it and the
// other characters that file systems refuse (\ : * ? " < > | and control characters) become "_",
// and a folder or file name does not start or end with a dot or space.
//
// %disc+TEXT% (also %disc:DIGITS+TEXT%) is the disc number followed by TEXT when the album has
// several discs, and nothing at all when it has one: when the track has no disc number, or its
// disc total is 1. A disc number without a total counts as one of several, since disc 1 of an
// album whose totals were never tagged cannot be told from a lone disc, and leaving its number out
// would name its tracks unlike disc 2's. So '%disc+-%%track%' gives "03" on a single disc and
// "2-03" on the second of two. %disc% itself keeps its meaning (0 for a missing disc number):
// a library named by an earlier template keeps its names.
#pragma once

#include "tags/track_tags.h"

#include <optional>
#include <string>

namespace cvnhost {

// Whether the template is one; false with the cause in `error` for an unknown name, a bad width
// or an unclosed placeholder.
bool checkNameTemplate(const std::string& nameTemplate, std::string& error);

// The relative path, without extension, that `nameTemplate` (checked) gives for a track.
std::string renderName(const std::string& nameTemplate, const TrackTags& tags, const std::string& inputStem);

} // namespace cvnhost
