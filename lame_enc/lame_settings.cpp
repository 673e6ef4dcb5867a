#include "lame_settings.h"

#include "VelmoraPlugIn.hpp"

#include <algorithm>
#include <iterator>

namespace lame_enc {

namespace {

constexpr int kSampleRates[] = {32000, 44100, 48000};
// The bitrates of MPEG-1 Layer III (ISO/IEC 11172-3) but the free format: what libmp3lame
// encodes at these sample rates. The plug-in's catalogue offers the same fourteen, by its own
// choice: two facts that agree, the standard's here and the product's in VelmoraPlugIn.h.
constexpr int kBitrates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

template <typename Table> bool contains(const Table& table, int value) {
    return std::find(std::begin(table), std::end(table), value) != std::end(table);
}

} // namespace

uint32_t outputBufferSize(const LameSettings& settings) {
    return settings.chunkSamples() / static_cast<uint32_t>(settings.channels()) * 5 / 4 + 7200;
}

BE_Result settingsFrom(const BE_EncoderConfig& config, LameSettings& settings) {
    if (config.configKind != 0) {
        return BE_ERR_INVALID_FORMAT;
    }
    LameSettings result;
    result.sampleRate = static_cast<int>(config.sampleRate);
    result.bitrate = config.bitrate;
    if (!contains(kSampleRates, result.sampleRate) || !contains(kBitrates, result.bitrate) ||
        config.channelMode > static_cast<uint8_t>(be::ChannelMode::Mono)) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    result.mode = static_cast<ChannelMode>(config.channelMode);
    result.crc = be::crcFlagOf(config.crcWord);
    switch (be::qualityOf(config.crcWord)) {
    case CVN_QUALITY_NORMAL:
        break; // libmp3lame's own default
    case CVN_QUALITY_LOW:
        result.quality = 7;
        break;
    case CVN_QUALITY_HIGH:
        result.quality = 2;
        break;
    default:
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    const uint32_t vbr = be::vbrSettingOf(config.crcWord);
    if (vbr > CVN_VBR_HIGHEST) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    if (vbr != CVN_VBR_OFF) {
        result.vbrQuality = cvn::vbrQualityOf(vbr);
    }
    result.copyright = config.copyrightFlag != 0;
    result.original = config.originalFlag != 0;
    result.privateBit = config.privateFlag != 0;
    settings = result;
    return BE_SUCCESS;
}

} // namespace lame_enc
