#include "audio/sndfile_decoder.h"

#include "audio/stated_length.h"

#include <sndfile.h>

#include <algorithm>
#include <bit>
#include <vector>

namespace cvnhost {

bool statedEndIsReadable(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return false;
    }
    std::vector<float> lastFrame(static_cast<size_t>(std::max(info.channels, 1)));
    const sf_count_t last = info.frames - 1;
    const bool readable = info.frames <= 0 || (sf_seek(file, last, SEEK_SET) == last &&
                                               sf_readf_float(file, lastFrame.data(), 1) == 1);
    sf_close(file);
    return readable;
}

SndfileReader::~SndfileReader() {
    sf_close(file_);
}

bool SndfileReader::counted(int64_t count, std::string& error) {
    if (count < 0 || sf_error(file_) != SF_ERR_NO_ERROR) {
        error = std::string("cannot be decoded: ") + sf_strerror(file_);
        return false;
    }
    framesRead_ += count;
    if (count == 0 && frames_ > 0 && framesRead_ < frames_) {
        error = truncatedError(framesRead_, frames_, sampleRate_, "its header");
        return false;
    }
    return true;
}

bool SndfileFloats::read(std::vector<float>& samples, std::string& error) {
    const auto channels = static_cast<size_t>(channels_);
    samples.resize(kBlockFrames * channels);
    const sf_count_t count = sf_readf_float(reader_->file(), samples.data(), kBlockFrames);
    samples.resize(count > 0 ? static_cast<size_t>(count) * channels : 0);
    return reader_->counted(count, error);
}

bool SndfileFrames::read(std::vector<uint32_t>& frames, std::string& error) {
    // A 16-bit stereo frame of the file is already the plug-in's frame (left in the low half on
    // this little-endian machine): it is read in place. The block keeps its size from call to
    // call, so nothing is filled before it is read over.
    static_assert(std::endian::native == std::endian::little);
    const bool stereo = channels_ == 2;
    if (stereo) {
        frames.resize(kBlockFrames);
    } else {
        frames.clear();
        monoBlock_.resize(kBlockFrames);
    }
    int16_t* samples = stereo ? reinterpret_cast<int16_t*>(frames.data()) : monoBlock_.data();
    const sf_count_t count = sf_readf_short(reader_->file(), samples, kBlockFrames);
    if (stereo) {
        frames.resize(count > 0 ? static_cast<size_t>(count) : 0);
    }
    for (sf_count_t i = 0; !stereo && i < count; ++i) {
        frames.push_back(stereoFrame(samples[i], samples[i]));
    }
    if (!reader_->counted(count, error)) {
        frames.clear();
        return false;
    }
    return true;
}

} // namespace cvnhost
