#include "encoder_config.h"

namespace velmora {

namespace {

uint32_t flag(uint32_t stored) {
    return stored != 0 ? 1u : 0u;
}

} // namespace

BE_EncoderConfig encoderConfigFor(int32_t formatIndex, const share::StoredSettings& settings) {
    BE_EncoderConfig config{};
    config.configKind = 0;
    config.sampleRate = CVN_PLUGIN_SAMPLE_RATE;
    be::ChannelMode mode = be::ChannelMode::Mono;
    if (cvn::isStereoFormat(formatIndex)) {
        mode = settings[share::kStereoMode] == CVN_STEREO_MODE_JOINT ? be::ChannelMode::JointStereo
                                                                     : be::ChannelMode::Stereo;
    }
    config.channelMode = static_cast<uint8_t>(mode);
    config.bitrate = cvn::bitrateOf(formatIndex);
    config.copyrightFlag = flag(settings[share::kCopyright]);
    config.crcWord =
        be::packCrcQualityVbr(flag(settings[share::kCrc]), settings[share::kQuality], settings[share::kVbr]);
    config.originalFlag = flag(settings[share::kOriginal]);
    // Set when the user checked "private bit", like the other three flags.
    config.privateFlag = flag(settings[share::kPrivate]);
    return config;
}

} // namespace velmora
