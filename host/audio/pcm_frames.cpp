#include "audio/pcm_frames.h"

#include <algorithm>
#include <cmath>

namespace cvnhost {

namespace {

// Float files may hold any value: beyond full scale is clipped, and NaN, which has no sample
// value, is silence.
int16_t toSample(float value) {
    if (std::isnan(value)) {
        return 0;
    }
    const float scaled = std::nearbyint(std::clamp(value, -1.0f, 1.0f) * 32768.0f);
    return static_cast<int16_t>(std::min(scaled, 32767.0f));
}

} // namespace

bool PcmFrames::read(std::vector<uint32_t>& frames, std::string& error) {
    frames.clear();
    if (!source_->read(samples_, error)) {
        return false;
    }
    const auto channels = static_cast<size_t>(source_->channels());
    for (size_t i = 0; i < samples_.size() / channels; ++i) {
        const int16_t left = toSample(samples_[i * channels]);
        const int16_t right = channels == 2 ? toSample(samples_[i * 2 + 1]) : left;
        frames.push_back(stereoFrame(left, right));
    }
    return true;
}

} // namespace cvnhost
