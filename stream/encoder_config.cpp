#include "encoder_config.h"

namespace velmora {

namespace {

uint32_t flag(uint32_t stored) {
    return stored != 0 ? 1u : 0u;
}

} // namespace

BE_EncoderConfig encoderConfigFor(int32_t formatIndex, const EncoderSettings& settings) {
    BE_EncoderConfig config{};
    config.configKind = 0;
    config.sampleRate = CVN_PLUGIN_SAMPLE_RATE;
    be::ChannelMode mode = be::ChannelMode::Mono;
    if (cvn::isStereoFormat(formatIndex)) {
        mode = settings.stereoMode == 0 ? be::ChannelMode::JointStereo : be::ChannelMode::Stereo;
    }
    config.channelMode = static_cast<uint8_t>(mode);
    config.bitrate = cvn::bitrateOf(formatIndex);
    config.copyrightFlag = flag(settings.copyright);
    config.crcWord = be::packCrcWord(flag(settings.crc), settings.quality, settings.vbr);
    config.originalFlag = flag(settings.original);
    // Set when the user checked "private bit", like the other three flags.
    config.privateFlag = flag(settings.privateBit);
    return config;
}

} // namespace velmora
