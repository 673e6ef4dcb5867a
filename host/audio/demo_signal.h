// The built-in signal of `cvnhost demo`: ten seconds of a chord whose root sweeps slowly upward,
// voiced a little differently in each channel.
#pragma once

#include "audio/frame_source.h"
#include "tags/track_tags.h"

namespace cvnhost {

class DemoSignal : public FrameSource {
  public:
    bool read(std::vector<uint32_t>& frames, std::string& error) override;
    int64_t expectedFrames() const override;
    // The demo's own tags, which options beat.
    static TrackTags tags();

  private:
    int64_t next_ = 0;
};

} // namespace cvnhost
