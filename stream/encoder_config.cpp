#include "encoder_config.h"

#include "common/format_rules.h"

namespace {

constexpr uint8_t kJointStereo = 1;
constexpr uint8_t kStereo = 0;
constexpr uint8_t kMono = 3;

uint32_t flag(uint32_t stored) {
    return stored != 0 ? 1u : 0u;
}

} // namespace

EncoderConfig encoderConfigFor(int32_t formatIndex, const EncoderSettings& settings) {
    EncoderConfig config{};
    config.configKind = 0;
    config.sampleRate = 44100;
    if (!isStereoFormat(formatIndex)) {
        config.channelMode = kMono;
    } else {
        config.channelMode = settings.stereoMode == 0 ? kJointStereo : kStereo;
    }
    config.bitrate = bitrateOf(formatIndex);
    config.copyrightFlag = flag(settings.copyright);
    config.crcWord = flag(settings.crc);
    config.crcWord |= settings.quality << 8;
    config.crcWord |= settings.vbr << 12;
    config.originalFlag = flag(settings.original);
    // Set when the user checked "private bit", like the other three flags.
    config.privateFlag = flag(settings.privateBit);
    return config;
}
