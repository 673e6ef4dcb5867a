// ReplayGain of a track, measured with libebur128 on the PCM that cvnhost hands to the plug-in:
// the gain that brings its integrated loudness (EBU R 128) to the ReplayGain 2.0 reference of
// -18 LUFS. A mono output is measured as one channel, as ffmpeg's ebur128 and loudgain measure a
// mono file; a stereo output as its two. The peak is the MP3's own, as a player decodes it
// (decoded_peak.h), not the input's: encoding moves peaks, mostly up.
#pragma once

#include "tags/replay_gain.h"
#include "tags/track_tags.h"

#include <ebur128.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cvnhost {

class LoudnessMeter {
  public:
    // `channels`: 1 measures the left channel of each frame alone (a mono output), 2 both.
    explicit LoudnessMeter(int channels);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // Stereo frames at 44100 Hz, as the plug-in takes them.
    void add(const std::vector<uint32_t>& frames);
    // The gain of the tracks' audio as one, with `peak`; nothing when it is too short or too quiet
    // to measure (or a meter could not start).
    static std::optional<ReplayGain> gainOf(const std::vector<const LoudnessMeter*>& tracks, double peak);

  private:
    ebur128_state* state_ = nullptr;
    int channels_;
    std::vector<int16_t> left_; // a mono output's samples of one block
};

} // namespace cvnhost
