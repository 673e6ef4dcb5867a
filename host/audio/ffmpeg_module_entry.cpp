// The module's one export: what cvnhost calls of FFmpeg's libraries (ffmpeg_module.h).
#include "audio/ffmpeg_decoder.h"
#include "audio/ffmpeg_input.h"
#include "audio/ffmpeg_module.h"
#include "audio/picture_scaler.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace cvnhost {

namespace {

std::string versionText(unsigned version) {
    return std::to_string(version >> 16) + "." + std::to_string((version >> 8) & 0xFF) + "." +
           std::to_string(version & 0xFF);
}

std::string description() {
    size_t demuxers = 0;
    void* state = nullptr;
    while (av_demuxer_iterate(&state) != nullptr) {
        ++demuxers;
    }
    return "FFmpeg libavformat " + versionText(avformat_version()) +
           ": everything else with an audio stream, among it M4A (ALAC, AAC), WavPack, APE, WMA, Musepack, "
           "TTA, "
           "Matroska and video files (their first audio stream); " +
           std::to_string(demuxers) + " container formats in this build";
}

std::unique_ptr<ModuleDecoder> open(const std::string& path, const char* refusalIfReadElsewhere,
                                    std::string& error) {
    return FfmpegDecoder::open(path, error, refusalIfReadElsewhere);
}

std::optional<bool> isLossy(const std::string& path) {
    const FfmpegMessagesOf messages(path, true);
    FfmpegInput input;
    if (input.open(path) != 0) {
        return std::nullopt;
    }
    AVFormatContext* format = input.format();
    std::optional<bool> lossy;
    if (avformat_find_stream_info(format, nullptr) >= 0) {
        const int stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        const AVCodecDescriptor* codec =
            stream >= 0 ? avcodec_descriptor_get(format->streams[stream]->codecpar->codec_id) : nullptr;
        if (codec != nullptr) {
            lossy = (codec->props & AV_CODEC_PROP_LOSSY) != 0;
        }
    }
    return lossy;
}

const FfmpegModule kModule = {open, description, isLossy, showFfmpegMessages, scaledPicture};

} // namespace

} // namespace cvnhost

extern "C" __attribute__((visibility("default"))) const cvnhost::FfmpegModule* cvnhostFfmpegModule() {
    return &cvnhost::kModule;
}
