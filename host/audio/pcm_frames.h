// The last link of an input's chain: floats at 44100 Hz rounded to the plug-in's 16-bit stereo
// frames, a mono source in both channels.
#pragma once

#include "audio/float_source.h"
#include "audio/frame_source.h"

#include <memory>

namespace cvnhost {

class PcmFrames : public FrameSource {
  public:
    // `expectedFrames` as far as the decoder's header tells it, at 44100 Hz.
    PcmFrames(std::unique_ptr<FloatSource> source, int64_t expectedFrames)
        : source_(std::move(source)), expectedFrames_(expectedFrames) {}

    bool read(std::vector<uint32_t>& frames, std::string& error) override;
    int64_t expectedFrames() const override { return expectedFrames_; }

  private:
    std::unique_ptr<FloatSource> source_;
    int64_t expectedFrames_;
    std::vector<float> samples_;
};

} // namespace cvnhost
