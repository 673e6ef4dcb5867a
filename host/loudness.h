// ReplayGain of a track, measured with libebur128 on the PCM that cvnhost hands to the plug-in:
// the gain that brings its integrated loudness (EBU R 128) to the ReplayGain 2.0 reference of
// -18 LUFS, and its sample peak as a fraction of full scale.
#pragma once

#include "track_tags.h"

#include <ebur128.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cvnhost {

struct ReplayGain {
    double gainDb = 0;
    double peak = 0;
};

class LoudnessMeter {
  public:
    LoudnessMeter();
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // Stereo frames at 44100 Hz, as the plug-in takes them.
    void add(const std::vector<uint32_t>& frames);
    // Nothing when the track is too short or too quiet to measure (or the meter could not start).
    std::optional<ReplayGain> trackGain() const;
    // The album's: the loudness of all the tracks' audio as one, and the largest peak.
    static std::optional<ReplayGain> albumGain(const std::vector<const LoudnessMeter*>& tracks);

  private:
    ebur128_state* state_ = nullptr;
    int peak_ = 0; // the largest sample magnitude, of 32768
};

// Puts the gain into REPLAYGAIN_`scope`_GAIN and _PEAK ("TRACK" or "ALBUM"), as the TXXX frames
// hold them: "-7.43 dB", "0.988831".
void setReplayGainTags(TrackTags& tags, const std::string& scope, const ReplayGain& gain);

} // namespace cvnhost
