// MPEG audio decoded with libmpg123 itself, as floats: libsndfile stops at the length it estimated
// from the first frame, which for a VBR file without a Xing header is far from its end. A file whose
// Info frame gives its length (LAME's Xing or Info header) is refused when its audio ends short of it.
#pragma once

#include "audio/float_source.h"

#include <cstdint>
#include <memory>

struct mpg123_handle_struct;

namespace cvnhost {

class MpegFloats : public FloatSource {
  public:
    // Null with the cause in `error`; `channels` and `sampleRate` are what the file's header gave
    // libsndfile, which the first frame must agree with.
    static std::unique_ptr<MpegFloats> open(const std::string& path, int channels, int sampleRate,
                                            std::string& error);
    ~MpegFloats() override;

    bool read(std::vector<float>& samples, std::string& error) override;
    int channels() const override { return channels_; }
    int sampleRate() const override { return sampleRate_; }

  private:
    MpegFloats(int channels, int sampleRate) : channels_(channels), sampleRate_(sampleRate) {}
    // The frames its Info frame names, without the encoder's delay and padding; 0 when it has none.
    int64_t statedFrames() const;

    mpg123_handle_struct* mpeg_ = nullptr;
    int channels_;
    int sampleRate_;
    int64_t stated_ = 0;
    int64_t framesRead_ = 0;
};

} // namespace cvnhost
