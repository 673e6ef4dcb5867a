#include "audio/demo_signal.h"

#include <algorithm>
#include <cmath>

namespace cvnhost {

namespace {

constexpr int64_t kLengthFrames = 10 * CVN_PLUGIN_SAMPLE_RATE;
constexpr int64_t kBlockFrames = 4096;

} // namespace

int64_t DemoSignal::expectedFrames() const {
    return kLengthFrames;
}

bool DemoSignal::read(std::vector<uint32_t>& frames, std::string&) {
    const double pi = std::acos(-1.0);
    frames.clear();
    const int64_t end = std::min(next_ + kBlockFrames, kLengthFrames);
    for (; next_ < end; ++next_) {
        const double t = static_cast<double>(next_) / CVN_PLUGIN_SAMPLE_RATE;
        // The root rises by a fifth over the ten seconds; the phase is the integral of the frequency.
        const double rate = std::log(1.5) / 10.0;
        const double phase = 2 * pi * 220.0 * (std::exp(rate * t) - 1.0) / rate;
        const double fade = std::min({1.0, t * 4, (10.0 - t) * 4});
        const double left = fade * (6000 * std::sin(phase) + 3000 * std::sin(1.5 * phase));
        const double right = fade * (6000 * std::sin(phase) + 3000 * std::sin(1.25 * phase));
        frames.push_back(
            stereoFrame(static_cast<int16_t>(std::lround(left)), static_cast<int16_t>(std::lround(right))));
    }
    return true;
}

TrackTags DemoSignal::tags() {
    TrackTags tags;
    tags.title = "Velmora Demo";
    tags.artist = "cvnhost";
    tags.album = "Built-in Signals";
    tags.genre = "Electronic";
    tags.track = 1;
    return tags;
}

} // namespace cvnhost
