// The seven stored encoder settings and the encoder configuration that a stream builds from them.
#pragma once

#include "encoder/lame_enc_interface.h"

#include <cstdint>

// The names of the REG_DWORD values under the host's settings key.
inline constexpr const char* kStereoModeValue = "StereoMode";
inline constexpr const char* kCopyrightValue = "Copyright";
inline constexpr const char* kCrcValue = "CRC";
inline constexpr const char* kQualityValue = "Quality";
inline constexpr const char* kVbrValue = "VBR";
inline constexpr const char* kOriginalValue = "Original";
inline constexpr const char* kPrivateValue = "Private";

// The values as stored; a value that is missing or cannot be read is 0. The dialog writes
// stereoMode 0 (joint) or 1, the flags 0 or 1, quality 0 (normal), 1 (low) or 2 (high), vbr 0
// (constant bitrate) or 1 to 10 (VBR quality vbr - 1); other writers may store anything.
struct EncoderSettings {
    uint32_t stereoMode = 0;
    uint32_t copyright = 0;
    uint32_t crc = 0;
    uint32_t quality = 0;
    uint32_t vbr = 0;
    uint32_t original = 0;
    uint32_t privateBit = 0;
};

// The configuration for a valid format index: 44100 Hz; mono for an odd index, otherwise joint
// stereo when stereoMode is 0 and stereo for any other value; the format's bitrate; each flag 1
// when its value is not 0; the CRC word: CRC flag | quality << 8 | vbr << 12, as stored.
EncoderConfig encoderConfigFor(int32_t formatIndex, const EncoderSettings& settings);

// Whether the finished file gets a VBR header: whenever VBR is on.
inline bool wantsVbrHeader(const EncoderSettings& settings) {
    return settings.vbr != 0;
}
