// Which album a track belongs to for album gain: the tracks of one run that share an album, wherever
// their folders are (the discs of one album in CD1/ and CD2/ are one album).
#pragma once

#include "tags/track_tags.h"

#include <string>

namespace cvnhost {

// Its MusicBrainz album id where it has one, else its album artist (or, without one, its artist)
// with its album title; empty for a track without an album title or id, which is in no album.
std::string albumIdentityOf(const TrackTags& tags);

} // namespace cvnhost
