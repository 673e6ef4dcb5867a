#include "loudness.h"

#include "frame_source.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <string>

namespace cvnhost {

namespace {

constexpr double kReferenceLoudness = -18.0; // LUFS, ReplayGain 2.0

} // namespace

LoudnessMeter::LoudnessMeter() : state_(ebur128_init(2, kPlugInSampleRate, EBUR128_MODE_I)) {}

LoudnessMeter::~LoudnessMeter() {
    if (state_ != nullptr) {
        ebur128_destroy(&state_);
    }
}

void LoudnessMeter::add(const std::vector<uint32_t>& frames) {
    // A frame holds the left sample in its low half: on this little-endian machine its bytes are
    // those of the interleaved pair that libebur128 reads.
    static_assert(std::endian::native == std::endian::little);
    if (state_ != nullptr && !frames.empty()) {
        ebur128_add_frames_short(state_, reinterpret_cast<const short*>(frames.data()), frames.size());
    }
    // The sample peak is the largest magnitude handed over; libebur128's own costs a pass of its own.
    // The lowest and highest sample of each channel, a loop without branches that the compiler
    // runs many frames at a time.
    int16_t lowest[2] = {0, 0};
    int16_t highest[2] = {0, 0};
    for (const uint32_t frame : frames) {
        const auto left = static_cast<int16_t>(frame & 0xFFFF);
        const auto right = static_cast<int16_t>(frame >> 16);
        lowest[0] = std::min(lowest[0], left);
        highest[0] = std::max(highest[0], left);
        lowest[1] = std::min(lowest[1], right);
        highest[1] = std::max(highest[1], right);
    }
    peak_ = std::max({peak_, -static_cast<int>(std::min(lowest[0], lowest[1])),
                      static_cast<int>(std::max(highest[0], highest[1]))});
}

std::optional<ReplayGain> LoudnessMeter::trackGain() const {
    return albumGain({this});
}

std::optional<ReplayGain> LoudnessMeter::albumGain(const std::vector<const LoudnessMeter*>& tracks) {
    std::vector<ebur128_state*> states;
    int peak = 0;
    for (const LoudnessMeter* track : tracks) {
        if (track->state_ != nullptr) {
            states.push_back(track->state_);
            peak = std::max(peak, track->peak_);
        }
    }
    double loudness = 0;
    if (states.empty() ||
        ebur128_loudness_global_multiple(states.data(), states.size(), &loudness) != EBUR128_SUCCESS ||
        !std::isfinite(loudness)) {
        return std::nullopt;
    }
    ReplayGain gain;
    gain.gainDb = kReferenceLoudness - loudness;
    gain.peak = peak / 32768.0;
    return gain;
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
