#include "planning/lossy_input.h"

#include "audio/ffmpeg_module.h"

#include <mpg123.h>
#include <sndfile.h>

#include <algorithm>

#include <filesystem>

namespace cvnhost {

namespace {

// The audio's bytes over its length, as libmpg123 measures them (a Xing header's frame count, or a
// scan); tags are not audio, so the bytes are counted from the first frame to the end.
int averageKbpsOf(const std::string& path) {
    static const int initialised = mpg123_init();
    int status = initialised;
    mpg123_handle* mpeg = status == MPG123_OK ? mpg123_new(nullptr, &status) : nullptr;
    if (mpeg == nullptr) {
        return 0;
    }
    mpg123_param(mpeg, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    int kbps = 0;
    if (mpg123_open(mpeg, path.c_str()) == MPG123_OK &&
        mpg123_getformat(mpeg, &rate, &channels, &encoding) == MPG123_OK && rate > 0) {
        const off_t samples = mpg123_length(mpeg);
        const off_t start = mpg123_tell_stream(mpeg);
        std::error_code sizeError;
        const auto size = static_cast<double>(std::filesystem::file_size(path, sizeError));
        if (samples > 0 && !sizeError) {
            const double seconds = static_cast<double>(samples) / static_cast<double>(rate);
            kbps = static_cast<int>((size - static_cast<double>(std::max<off_t>(start, 0))) * 8 / seconds /
                                    1000);
        }
    }
    mpg123_close(mpeg);
    mpg123_delete(mpeg);
    return kbps;
}

} // namespace

int typicalBitrateOf(int32_t formatIndex, uint32_t vbr) {
    static constexpr int kVbrKbps[10] = {245, 225, 190, 175, 165, 130, 115, 100, 85, 65};
    return vbr == CVN_VBR_OFF ? cvn::bitrateOf(formatIndex) : kVbrKbps[cvn::vbrQualityOf(vbr)];
}

std::optional<Lossiness> lossinessOf(const std::string& path) {
    // A FIFO or a device would block or be consumed: its track fails at its open, named.
    std::error_code typeError;
    if (!std::filesystem::is_regular_file(path, typeError)) {
        return std::nullopt;
    }
    SF_INFO info{};
    if (SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info)) {
        sf_close(file);
        const int subtype = info.format & SF_FORMAT_SUBMASK;
        const bool mp3 = subtype == SF_FORMAT_MPEG_LAYER_III;
        const bool lossy = mp3 || subtype == SF_FORMAT_MPEG_LAYER_I || subtype == SF_FORMAT_MPEG_LAYER_II ||
                           subtype == SF_FORMAT_VORBIS || subtype == SF_FORMAT_OPUS ||
                           subtype == SF_FORMAT_GSM610;
        if (info.channels <= 2) {
            return Lossiness{lossy, mp3, mp3 ? averageKbpsOf(path) : 0};
        }
    }
    std::string error;
    const FfmpegModule* module = ffmpegModule(error);
    const std::optional<bool> lossy = module != nullptr ? module->isLossy(path) : std::nullopt;
    return lossy ? std::optional<Lossiness>(Lossiness{*lossy, false, 0}) : std::nullopt;
}

} // namespace cvnhost
