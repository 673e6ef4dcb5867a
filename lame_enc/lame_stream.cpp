#include "lame_stream.h"

#include "frame_crc.h"

namespace lame_enc {

namespace {

MPEG_mode lameMode(ChannelMode mode) {
    switch (mode) {
    case ChannelMode::Stereo:
        return STEREO;
    case ChannelMode::JointStereo:
        return JOINT_STEREO;
    case ChannelMode::DualChannel:
        return DUAL_CHANNEL;
    case ChannelMode::Mono:
        break;
    }
    return MONO;
}

} // namespace

std::unique_ptr<LameStream> LameStream::open(const LameSettings& settings) {
    lame_global_flags* flags = lame_init();
    if (flags == nullptr) {
        return nullptr;
    }
    std::unique_ptr<LameStream> stream(new LameStream(flags, settings));
    lame_set_in_samplerate(flags, settings.sampleRate);
    lame_set_num_channels(flags, settings.channels());
    lame_set_mode(flags, lameMode(settings.mode));
    lame_set_error_protection(flags, settings.crc ? 1 : 0);
    lame_set_copyright(flags, settings.copyright ? 1 : 0);
    lame_set_original(flags, settings.original ? 1 : 0);
    lame_set_extension(flags, settings.privateBit ? 1 : 0);
    lame_set_findReplayGain(flags, 0);
    if (settings.quality) {
        lame_set_quality(flags, *settings.quality);
    }
    if (settings.vbrQuality) {
        lame_set_VBR(flags, vbr_default);
        lame_set_VBR_q(flags, *settings.vbrQuality);
        lame_set_VBR_min_bitrate_kbps(flags, settings.bitrate);
    } else {
        lame_set_VBR(flags, vbr_off);
        lame_set_brate(flags, settings.bitrate);
    }
    // Reserves the first frame, at every bitrate, for the header that carries the encoder delay
    // and padding: players trim them only when it is there. Until it is written the frame is a
    // silent one that every decoder plays.
    lame_set_bWriteVbrTag(flags, 1);
    if (lame_init_params(flags) < 0) {
        return nullptr;
    }
    return stream;
}

LameStream::~LameStream() {
    lame_close(flags_);
}

BE_Result LameStream::encode(uint32_t count, const int16_t* samples, uint8_t* output, uint32_t& outputBytes) {
    outputBytes = 0;
    const auto channels = static_cast<uint32_t>(settings_.channels());
    if (count > settings_.chunkSamples() || count % channels != 0 || (count != 0 && samples == nullptr) ||
        output == nullptr) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    const int frames = static_cast<int>(count / channels);
    const int size = static_cast<int>(outputBufferSize(settings_));
    const int produced = channels == 2 ? lame_encode_buffer_interleaved(flags_, const_cast<short*>(samples),
                                                                        frames, output, size)
                                       : lame_encode_buffer(flags_, samples, nullptr, frames, output, size);
    return takeProduced(produced, output, outputBytes);
}

BE_Result LameStream::takeProduced(int produced, uint8_t* output, uint32_t& outputBytes) {
    if (produced < 0) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    outputBytes = static_cast<uint32_t>(produced);
    completeReservedFrame(output, outputBytes);
    fingerprint_.add(output, outputBytes);
    return BE_SUCCESS;
}

void LameStream::completeReservedFrame(uint8_t* output, uint32_t outputBytes) {
    // The first frame the library gives is the one reserved for the header, all zeros after its
    // own header. A host that never asks for the header keeps it as it is: with CRCs on it must
    // carry its own, or decoders count it as damaged.
    if (!reservedFrameCompleted_ && outputBytes > 0) {
        setFrameCrc(output, outputBytes);
        reservedFrameCompleted_ = true;
    }
}

BE_Result LameStream::flush(uint8_t* output, uint32_t& outputBytes) {
    outputBytes = 0;
    if (output == nullptr) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    return takeProduced(lame_encode_flush(flags_, output, static_cast<int>(outputBufferSize(settings_))),
                        output, outputBytes);
}

std::vector<uint8_t> LameStream::headerFrame() const {
    std::vector<uint8_t> frame(lame_get_lametag_frame(flags_, nullptr, 0));
    frame.resize(lame_get_lametag_frame(flags_, frame.data(), frame.size()));
    return frame;
}

} // namespace lame_enc
