// The module's one export: what cvnhost calls of FFmpeg's libraries (ffmpeg_module.h).
#include "audio/ffmpeg_decoder.h"
#include "audio/ffmpeg_input.h"
#include "audio/ffmpeg_module.h"
#include "audio/picture_scaler.h"

#include <algorithm>
#include <cctype>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/intreadwrite.h>
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

// WavPack's blocks are lossless unless the file is hybrid, which each block's header says (its
// flags, at byte 24, bit 3); FFmpeg's description of the codec says both. The demuxers give each
// block with its header.
bool isHybridWavPack(AVFormatContext* format, int stream) {
    constexpr int kFlagsAt = 24;
    constexpr uint32_t kHybridFlag = 0x8;
    AVPacket* packet = av_packet_alloc();
    bool hybrid = true;
    while (packet != nullptr && av_read_frame(format, packet) >= 0) {
        const bool ours = packet->stream_index == stream;
        if (ours && packet->size >= kFlagsAt + 4 && std::memcmp(packet->data, "wvpk", 4) == 0) {
            hybrid = (AV_RL32(packet->data + kFlagsAt) & kHybridFlag) != 0;
        }
        av_packet_unref(packet);
        if (ours) {
            break;
        }
    }
    av_packet_free(&packet);
    return hybrid;
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
        if (codec != nullptr && codec->id == AV_CODEC_ID_WAVPACK) {
            lossy = isHybridWavPack(format, stream);
        } else if (codec != nullptr) {
            lossy = (codec->props & AV_CODEC_PROP_LOSSY) != 0;
        }
    }
    return lossy;
}

// FFmpeg's names of Matroska's tags and its own, where TagLib's differ; the program that wrote the
// file (ENCODER) describes the file, not the track.
std::optional<std::string> propertyNameOf(const std::string& ffmpegName) {
    static const std::pair<const char*, const char*> names[] = {
        {"TRACK", "TRACKNUMBER"}, {"PART_NUMBER", "TRACKNUMBER"},  {"TOTAL_PARTS", "TRACKTOTAL"},
        {"DISC", "DISCNUMBER"},   {"ALBUM_ARTIST", "ALBUMARTIST"}, {"DATE_RELEASED", "DATE"},
        {"ENCODER", nullptr},     {"DURATION", nullptr},
    };
    std::string name = ffmpegName;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (const auto& [ffmpeg, property] : names) {
        if (name == ffmpeg) {
            return property != nullptr ? std::optional<std::string>(property) : std::nullopt;
        }
    }
    return name;
}

std::optional<std::vector<std::pair<std::string, std::string>>> matroskaTags(const std::string& path) {
    const FfmpegMessagesOf messages(path, true);
    FfmpegInput input;
    if (input.open(path) != 0 || std::strstr(input.format()->iformat->name, "matroska") == nullptr) {
        return std::nullopt;
    }
    std::vector<std::pair<std::string, std::string>> tags;
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(input.format()->metadata, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        // The Segment's title comes as "title" beside the tag TITLE of the same text.
        std::optional<std::string> name = propertyNameOf(entry->key);
        if (name &&
            std::find(tags.begin(), tags.end(), std::pair(*name, std::string(entry->value))) == tags.end()) {
            tags.emplace_back(std::move(*name), entry->value);
        }
    }
    return tags;
}

const FfmpegModule kModule = {open, description, isLossy, matroskaTags, showFfmpegMessages, scaledPicture};

} // namespace

} // namespace cvnhost

extern "C" __attribute__((visibility("default"))) const cvnhost::FfmpegModule* cvnhostFfmpegModule() {
    return &cvnhost::kModule;
}
