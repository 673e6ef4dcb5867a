// The module's one export: what cvnhost calls of FFmpeg's libraries (ffmpeg_module.h).
#include "ffmpeg_decoder.h"
#include "ffmpeg_module.h"

extern "C" {
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

std::unique_ptr<ModuleDecoder> open(const std::string& path, std::string& error) {
    return FfmpegDecoder::open(path, error);
}

const FfmpegModule kModule = {open, FfmpegDecoder::isReadElsewhere, description};

} // namespace

} // namespace cvnhost

extern "C" __attribute__((visibility("default"))) const cvnhost::FfmpegModule* cvnhostFfmpegModule() {
    return &cvnhost::kModule;
}
