// A link that takes its source to 44100 Hz with libsoxr at high quality.
#pragma once

#include "audio/float_source.h"

#include <memory>

typedef struct soxr* soxr_t;

namespace cvnhost {

class Resampler : public FloatSource {
  public:
    // Null with the cause in `error` when libsoxr refuses the source's rate or channels.
    static std::unique_ptr<Resampler> over(std::unique_ptr<FloatSource> source, std::string& error);
    ~Resampler() override;

    bool read(std::vector<float>& samples, std::string& error) override;
    int channels() const override { return source_->channels(); }
    int sampleRate() const override;

  private:
    explicit Resampler(std::unique_ptr<FloatSource> source) : source_(std::move(source)) {}

    std::unique_ptr<FloatSource> source_;
    soxr_t soxr_ = nullptr;
    std::vector<float> input_;
    bool ended_ = false;
    bool flushed_ = false;
};

} // namespace cvnhost
