#include "audio/mpeg_decoder.h"

#include "audio/stated_length.h"

#include <mpg123.h>

namespace cvnhost {

std::unique_ptr<MpegFloats> MpegFloats::open(const std::string& path, int channels, int sampleRate,
                                             std::string& error) {
    static const int initialised = mpg123_init();
    int status = initialised;
    std::unique_ptr<MpegFloats> decoder(new MpegFloats(channels, sampleRate));
    decoder->mpeg_ = status == MPG123_OK ? mpg123_new(nullptr, &status) : nullptr;
    mpg123_handle* mpeg = decoder->mpeg_;
    if (mpeg == nullptr) {
        error = std::string("cannot be decoded: ") + mpg123_plain_strerror(status);
        return nullptr;
    }
    mpg123_param(mpeg, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(mpeg);
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i) {
        mpg123_format(mpeg, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    }
    long rate = 0;
    int frameChannels = 0;
    int encoding = 0;
    if (mpg123_open(mpeg, path.c_str()) != MPG123_OK ||
        mpg123_getformat(mpeg, &rate, &frameChannels, &encoding) != MPG123_OK) {
        error = std::string("cannot be decoded: ") + mpg123_strerror(mpeg);
        return nullptr;
    }
    if (rate != sampleRate || frameChannels != channels) {
        error = "cannot be decoded: its first frame and its header disagree on its format";
        return nullptr;
    }
    decoder->stated_ = decoder->statedFrames();
    return decoder;
}

int64_t MpegFloats::statedFrames() const {
    // libmpg123 gives a length for every file, estimated from the size where no Info frame names
    // the frames; the encoder's delay, which only that frame (its LAME tag) gives, tells the two apart.
    long delay = -1;
    double unused = 0;
    if (mpg123_getstate(mpeg_, MPG123_ENC_DELAY, &delay, &unused) != MPG123_OK || delay < 0) {
        return 0;
    }
    const off_t length = mpg123_length(mpeg_);
    return length > 0 ? static_cast<int64_t>(length) : 0;
}

MpegFloats::~MpegFloats() {
    if (mpeg_ != nullptr) {
        mpg123_delete(mpeg_);
    }
}

bool MpegFloats::read(std::vector<float>& samples, std::string& error) {
    const size_t frameBytes = sizeof(float) * static_cast<size_t>(channels_);
    samples.resize(kBlockFrames * static_cast<size_t>(channels_));
    size_t done = 0;
    const int status = mpg123_read(mpeg_, samples.data(), kBlockFrames * frameBytes, &done);
    if (status != MPG123_OK && status != MPG123_DONE) {
        samples.clear();
        error = std::string("cannot be decoded: ") + mpg123_strerror(mpeg_);
        return false;
    }
    const auto frames = static_cast<int64_t>(done / frameBytes);
    samples.resize(static_cast<size_t>(frames) * static_cast<size_t>(channels_));
    framesRead_ += frames;
    if (frames == 0 && framesRead_ < stated_ - kLengthTolerance) {
        error = truncatedError(framesRead_, stated_, sampleRate_, "its Xing header");
        return false;
    }
    return true;
}

} // namespace cvnhost
