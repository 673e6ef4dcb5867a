// Where a track's audio comes from: the host hands the plug-in 16-bit stereo frames at 44100 Hz
// (left in the low half of each 32-bit word, right in the high half), read in blocks so that
// memory stays flat however long the track is.
#pragma once

#include "VelmoraPlugIn.hpp" // CVN_PLUGIN_SAMPLE_RATE

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cvnhost {

class FrameSource {
  public:
    virtual ~FrameSource() = default;
    // Replaces `frames` with the next block; empty at the end. Returns false on a read error,
    // with the cause in `error`.
    virtual bool read(std::vector<uint32_t>& frames, std::string& error) = 0;
    // How many frames the whole track gives, as far as is known before reading it.
    virtual int64_t expectedFrames() const = 0;
};

// A stereo frame from two samples.
inline uint32_t stereoFrame(int16_t left, int16_t right) {
    return static_cast<uint16_t>(left) | static_cast<uint32_t>(static_cast<uint16_t>(right)) << 16;
}

} // namespace cvnhost
