// ReplayGain as tags carry it: REPLAYGAIN_TRACK_GAIN and _PEAK, REPLAYGAIN_ALBUM_GAIN and _PEAK,
// in the texts the TXXX frames hold ("-7.43 dB", "0.988831").
#pragma once

#include "tags/track_tags.h"

#include <string>

namespace cvnhost {

struct ReplayGain {
    double gainDb = 0;
    double peak = 0;
};

// Whether a tag of this name is a ReplayGain value, measured or carried.
bool isReplayGainName(const std::string& name);

// The tags without their ReplayGain values.
void eraseReplayGain(TrackTags& tags);

// Puts the gain into REPLAYGAIN_`scope`_GAIN and _PEAK ("TRACK" or "ALBUM").
void setReplayGainTags(TrackTags& tags, const std::string& scope, const ReplayGain& gain);

} // namespace cvnhost
