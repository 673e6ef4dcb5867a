// How an BE_EncoderConfig becomes the settings of a libmp3lame encoder: the checks and the mapping,
// apart from libmp3lame itself so that they can be tested alone.
#pragma once

#include "lame_enc_interface.hpp"

#include <optional>

namespace lame_enc {

using ChannelMode = be::ChannelMode;

struct LameSettings {
    int sampleRate = 0;
    int bitrate = 0; // kbit/s; with VBR the minimum bitrate
    ChannelMode mode = ChannelMode::Stereo;
    bool crc = false;
    std::optional<int> quality;    // libmp3lame's quality 0 (best) to 9; none: its default
    std::optional<int> vbrQuality; // 0 (best) to 9 with variable bitrate; none: constant bitrate
    bool copyright = false;
    bool original = false;
    bool privateBit = false;

    int channels() const { return mode == ChannelMode::Mono ? 1 : 2; }
    // Samples per beEncodeChunk call, both channels counted: one MPEG-1 frame of 1152 per channel.
    uint32_t chunkSamples() const { return 1152u * static_cast<uint32_t>(channels()); }
};

// The output buffer that is enough for any single encode or flush call of one chunk:
// libmp3lame's worst case of 1.25 bytes per sample per channel plus 7200.
uint32_t outputBufferSize(const LameSettings& settings);

// The settings for `config`, or the error code: BE_ERR_INVALID_FORMAT for a configuration kind other
// than 0, BE_ERR_INVALID_FORMAT_PARAMETERS for a sample rate, bitrate, channel mode, quality or VBR
// setting outside the supported ones.
BE_Result settingsFrom(const BE_EncoderConfig& config, LameSettings& settings);

} // namespace lame_enc
