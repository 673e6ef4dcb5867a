#include "tags/replay_gain.h"

#include <cstdio>

namespace cvnhost {

bool isReplayGainName(const std::string& name) {
    return name.rfind("REPLAYGAIN_", 0) == 0;
}

void eraseReplayGain(TrackTags& tags) {
    std::erase_if(tags.more, [](const auto& entry) { return isReplayGainName(entry.first); });
}

void setReplayGainTags(TrackTags& tags, const std::string& scope, const ReplayGain& gain) {
    char gainText[32];
    std::snprintf(gainText, sizeof gainText, "%+.2f dB", gain.gainDb);
    char peakText[32];
    std::snprintf(peakText, sizeof peakText, "%.6f", gain.peak);
    tags.more["REPLAYGAIN_" + scope + "_GAIN"] = {gainText};
    tags.more["REPLAYGAIN_" + scope + "_PEAK"] = {peakText};
}

} // namespace cvnhost
