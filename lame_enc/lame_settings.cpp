#include "lame_settings.h"

#include <algorithm>
#include <iterator>

namespace lame_enc {

namespace {

constexpr int kSampleRates[] = {32000, 44100, 48000};
constexpr int kBitrates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

template <typename Table> bool contains(const Table& table, int value) {
    return std::find(std::begin(table), std::end(table), value) != std::end(table);
}

} // namespace

uint32_t outputBufferSize(const LameSettings& settings) {
    return settings.chunkSamples() / static_cast<uint32_t>(settings.channels()) * 5 / 4 + 7200;
}

BeResult settingsFrom(const EncoderConfig& config, LameSettings& settings) {
    if (config.configKind != 0) {
        return kBeInvalidFormat;
    }
    LameSettings result;
    result.sampleRate = static_cast<int>(config.sampleRate);
    result.bitrate = config.bitrate;
    if (!contains(kSampleRates, result.sampleRate) || !contains(kBitrates, result.bitrate) ||
        config.channelMode > 3) {
        return kBeInvalidFormatParameters;
    }
    result.mode = static_cast<ChannelMode>(config.channelMode);
    result.crc = (config.crcWord & 1u) != 0;
    switch ((config.crcWord >> 8) & 0xFu) {
    case 0:
        break; // normal: libmp3lame's own default
    case 1:
        result.quality = 7; // low
        break;
    case 2:
        result.quality = 2; // high
        break;
    default:
        return kBeInvalidFormatParameters;
    }
    const uint32_t vbr = (config.crcWord >> 12) & 0xFu;
    if (vbr > 10) {
        return kBeInvalidFormatParameters;
    }
    if (vbr != 0) {
        result.vbrQuality = static_cast<int>(vbr) - 1;
    }
    result.copyright = config.copyrightFlag != 0;
    result.original = config.originalFlag != 0;
    result.privateBit = config.privateFlag != 0;
    settings = result;
    return kBeSuccess;
}

} // namespace lame_enc
