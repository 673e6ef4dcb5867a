// The links of an input's chain before its frames (opus-tools' readers are the model): a decoder
// gives the file's audio as floats at its own rate, a resampler takes them to 44100 Hz, and
// PcmFrames (pcm_frames.h) rounds them to the plug-in's 16-bit stereo frames.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace cvnhost {

// Frames a link reads from the one before it at a time.
inline constexpr size_t kBlockFrames = 4096;

class FloatSource {
  public:
    virtual ~FloatSource() = default;
    // Replaces `samples` with the next block of interleaved frames; empty at the end. False on a
    // read error, with the cause in `error`.
    virtual bool read(std::vector<float>& samples, std::string& error) = 0;
    virtual int channels() const = 0;
    virtual int sampleRate() const = 0;
};

} // namespace cvnhost
