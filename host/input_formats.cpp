#include "input_formats.h"

#include "output_plan.h"

extern "C" {
#include <libavformat/avformat.h>
}
#include <sndfile.h>

namespace cvnhost {

namespace {

std::string sndfileFormats() {
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    std::string names;
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 && info.name != nullptr) {
            names += (names.empty() ? "" : ", ") + std::string(info.name);
        }
    }
    return names;
}

std::string versionText(unsigned version) {
    return std::to_string(version >> 16) + "." + std::to_string((version >> 8) & 0xFF) + "." +
           std::to_string(version & 0xFF);
}

size_t ffmpegDemuxerCount() {
    size_t count = 0;
    void* state = nullptr;
    while (av_demuxer_iterate(&state) != nullptr) {
        ++count;
    }
    return count;
}

} // namespace

std::vector<std::string> inputFormatLines() {
    std::string extensions;
    for (const char* extension : kInputExtensions) {
        extensions += (extensions.empty() ? "" : " ") + std::string(extension);
    }
    return {
        std::string(sf_version_string()) + ": " + sndfileFormats(),
        "libmpg123: MPEG audio layers 1, 2 and 3 (MP3), to its real end",
        "FFmpeg libavformat " + versionText(avformat_version()) +
            ": everything else with an audio stream, among it M4A (ALAC, AAC), WavPack, APE, WMA, Musepack, "
            "TTA, Matroska and video files (their first audio stream); " +
            std::to_string(ffmpegDemuxerCount()) + " container formats in this build",
        "Folders: files named " + extensions,
    };
}

} // namespace cvnhost
