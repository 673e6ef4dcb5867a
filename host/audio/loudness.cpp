#include "audio/loudness.h"

#include "audio/frame_source.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <string>

namespace cvnhost {

namespace {

constexpr double kReferenceLoudness = -18.0; // LUFS, ReplayGain 2.0

} // namespace

LoudnessMeter::LoudnessMeter(int channels)
    : state_(ebur128_init(static_cast<unsigned>(channels), CVN_PLUGIN_SAMPLE_RATE, EBUR128_MODE_I)),
      channels_(channels) {}

LoudnessMeter::~LoudnessMeter() {
    if (state_ != nullptr) {
        ebur128_destroy(&state_);
    }
}

void LoudnessMeter::add(const std::vector<uint32_t>& frames) {
    if (state_ == nullptr || frames.empty()) {
        return;
    }
    if (channels_ == 2) {
        // A frame holds the left sample in its low half: on this little-endian machine its bytes
        // are those of the interleaved pair that libebur128 reads.
        static_assert(std::endian::native == std::endian::little);
        ebur128_add_frames_short(state_, reinterpret_cast<const short*>(frames.data()), frames.size());
        return;
    }
    left_.resize(frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        left_[i] = static_cast<int16_t>(frames[i] & 0xFFFF);
    }
    ebur128_add_frames_short(state_, left_.data(), left_.size());
}

std::optional<ReplayGain> LoudnessMeter::gainOf(const std::vector<const LoudnessMeter*>& tracks,
                                                double peak) {
    std::vector<ebur128_state*> states;
    for (const LoudnessMeter* track : tracks) {
        if (track->state_ != nullptr) {
            states.push_back(track->state_);
        }
    }
    double loudness = 0;
    if (states.empty() ||
        ebur128_loudness_global_multiple(states.data(), states.size(), &loudness) != EBUR128_SUCCESS ||
        !std::isfinite(loudness)) {
        return std::nullopt;
    }
    return ReplayGain{kReferenceLoudness - loudness, peak};
}

} // namespace cvnhost
