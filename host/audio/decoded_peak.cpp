#include "audio/decoded_peak.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <iterator>

namespace cvnhost {

namespace {

struct HandleDeleter {
    void operator()(mpg123_handle* handle) const { mpg123_delete(handle); }
};

// In eight lanes, which the compiler keeps in vector registers: a frame is 2,304 samples.
float largestMagnitude(const float* samples, size_t count) {
    constexpr size_t kLanes = 8;
    float lanes[kLanes] = {};
    size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        for (size_t lane = 0; lane < kLanes; ++lane) {
            lanes[lane] = std::max(lanes[lane], std::fabs(samples[i + lane]));
        }
    }
    float largest = *std::max_element(std::begin(lanes), std::end(lanes));
    for (; i < count; ++i) {
        largest = std::max(largest, std::fabs(samples[i]));
    }
    return largest;
}

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
    // Frame by frame out of the decoder's own buffer: no copy of the audio.
    float peak = 0;
    for (;;) {
        off_t frame = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        status = mpg123_decode_frame(decoder.get(), &frame, &audio, &bytes);
        if (status == MPG123_DONE) {
            break;
        }
        if (status != MPG123_OK && status != MPG123_NEW_FORMAT) {
            error = std::string("cannot be decoded to measure its peak: ") + mpg123_strerror(decoder.get());
            return std::nullopt;
        }
        peak = std::max(peak, largestMagnitude(reinterpret_cast<const float*>(audio), bytes / sizeof(float)));
    }
    return static_cast<double>(peak);
}

} // namespace cvnhost
