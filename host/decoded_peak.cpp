#include "decoded_peak.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace cvnhost {

namespace {

struct HandleDeleter {
    void operator()(mpg123_handle* handle) const { mpg123_delete(handle); }
};

} // namespace

std::optional<double> decodedPeak(const std::string& path, std::string& error) {
    static const int initialised = mpg123_init();
    int status = initialised;
    std::unique_ptr<mpg123_handle, HandleDeleter> decoder(status == MPG123_OK ? mpg123_new(nullptr, &status)
                                                                              : nullptr);
    if (!decoder) {
        error = std::string("cannot be decoded to measure its peak: ") + mpg123_plain_strerror(status);
        return std::nullopt;
    }
    mpg123_param(decoder.get(), MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    mpg123_format_none(decoder.get());
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i) {
        mpg123_format(decoder.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    }
    if (mpg123_open(decoder.get(), path.c_str()) != MPG123_OK) {
        error = std::string("cannot be decoded to measure its peak: ") + mpg123_strerror(decoder.get());
        return std::nullopt;
    }
    std::vector<float> block(16384);
    float peak = 0;
    for (;;) {
        size_t bytes = 0;
        status = mpg123_read(decoder.get(), block.data(), block.size() * sizeof(float), &bytes);
        const size_t samples = bytes / sizeof(float);
        for (size_t i = 0; i < samples; ++i) {
            peak = std::max(peak, std::fabs(block[i]));
        }
        if (status == MPG123_DONE) {
            break;
        }
        if (status != MPG123_OK && status != MPG123_NEW_FORMAT) {
            error = std::string("cannot be decoded to measure its peak: ") + mpg123_strerror(decoder.get());
            return std::nullopt;
        }
    }
    return static_cast<double>(peak);
}

} // namespace cvnhost
