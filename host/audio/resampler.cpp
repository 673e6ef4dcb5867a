#include "audio/resampler.h"

#include "VelmoraPlugIn.hpp"

#include <soxr.h>

#include <algorithm>

namespace cvnhost {

std::unique_ptr<Resampler> Resampler::over(std::unique_ptr<FloatSource> source, std::string& error) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t soxrError = nullptr;
    std::unique_ptr<Resampler> resampler(new Resampler(std::move(source)));
    resampler->soxr_ =
        soxr_create(resampler->source_->sampleRate(), CVN_PLUGIN_SAMPLE_RATE,
                    static_cast<unsigned>(resampler->channels()), &soxrError, &io, &quality, nullptr);
    if (resampler->soxr_ == nullptr) {
        error = std::string("cannot be resampled: ") + (soxrError != nullptr ? soxrError : "unknown error");
        return nullptr;
    }
    return resampler;
}

Resampler::~Resampler() {
    if (soxr_ != nullptr) {
        soxr_delete(soxr_);
    }
}

int Resampler::sampleRate() const {
    return static_cast<int>(CVN_PLUGIN_SAMPLE_RATE);
}

bool Resampler::read(std::vector<float>& samples, std::string& error) {
    const auto channels = static_cast<size_t>(this->channels());
    const auto rate = static_cast<size_t>(source_->sampleRate());
    // The room takes all that a block gives at this rate: what does not fit would wait inside the
    // resampler, which then grows with the length of the input.
    const size_t room = kBlockFrames * std::max<size_t>(2, (CVN_PLUGIN_SAMPLE_RATE + rate - 1) / rate) + 1024;
    samples.clear();
    while (samples.empty() && !flushed_) {
        if (!ended_) {
            if (!source_->read(input_, error)) {
                return false;
            }
            ended_ = input_.empty();
        }
        samples.resize(room * channels);
        size_t produced = 0;
        // At the end, a null input drains what the resampler still holds.
        const soxr_error_t soxrError =
            soxr_process(soxr_, ended_ ? nullptr : input_.data(), input_.size() / channels, nullptr,
                         samples.data(), room, &produced);
        if (soxrError != nullptr) {
            error = std::string("cannot be resampled: ") + soxrError;
            return false;
        }
        samples.resize(produced * channels);
        flushed_ = ended_ && produced == 0;
    }
    return true;
}

} // namespace cvnhost
