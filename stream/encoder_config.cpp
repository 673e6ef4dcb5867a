#include "encoder_config.h"

namespace velmora {

namespace {

uint32_t flag(uint32_t stored) {
    return stored != 0 ? 1u : 0u;
}

} // namespace

EncoderConfig encoderConfigFor(int32_t formatIndex, const EncoderSettings& settings) {
    EncoderConfig config{};
    config.configKind = 0;
    config.sampleRate = kPlugInSampleRate;
    BeChannelMode mode = BeChannelMode::Mono;
    if (isStereoFormat(formatIndex)) {
        mode = settings.stereoMode == 0 ? BeChannelMode::JointStereo : BeChannelMode::Stereo;
    }
    config.channelMode = static_cast<uint8_t>(mode);
    config.bitrate = bitrateOf(formatIndex);
    config.copyrightFlag = flag(settings.copyright);
    config.crcWord = packCrcWord(flag(settings.crc), settings.quality, settings.vbr);
    config.originalFlag = flag(settings.original);
    // Set when the user checked "private bit", like the other three flags.
    config.privateFlag = flag(settings.privateBit);
    return config;
}

} // namespace velmora
