// Covers for a device (--cover-size): each picture of a track's tags at most N pixels on its long
// side, as a baseline JPEG, which car stereos and head units show (a progressive one, a PNG, they
// do not). Applied only where tags are written into an output: the digests of the source marker
// are of the tags as given, so a run whose outputs are up to date decodes no picture.
#pragma once

#include "tags/track_tags.h"

#include <cstdint>
#include <vector>

namespace cvnhost {

// Whether the picture goes into the output byte for byte: a baseline JPEG at most `longSide`
// pixels on each side.
bool fitsAsItIs(const std::vector<uint8_t>& picture, int longSide);

// Every picture that does not fit made a baseline JPEG that does, with FFmpeg's libraries; one
// that they cannot decode stays as it is. Nothing changes when `longSide` is 0.
void fitCovers(TrackTags& tags, int longSide);

} // namespace cvnhost
