// The encoder library's interface for C++: the result texts, the channel modes as a type, the
// packing of the CRC, quality and VBR word, and the layout checks of the records in
// lame_enc_interface.h.
#pragma once

#include "lame_enc_interface.h"

#include <cstddef>
#include <cstdint>

namespace be {

// The text the plug-in shows for a result code other than BE_SUCCESS.
inline const char* errorText(BE_Result code) {
    switch (code) {
    case BE_ERR_INVALID_FORMAT:
        return "Invalid Format";
    case BE_ERR_INVALID_FORMAT_PARAMETERS:
        return "Invalid Format Parameters";
    case BE_ERR_NO_MORE_HANDLES:
        return "No more Handles";
    case BE_ERR_INVALID_HANDLE:
        return "Invalid Handle";
    default:
        return "Unknown BladeEnc Error";
    }
}

enum class ChannelMode : uint8_t {
    Stereo = BE_MODE_STEREO,
    JointStereo = BE_MODE_JOINT_STEREO,
    DualChannel = BE_MODE_DUAL_CHANNEL,
    Mono = BE_MODE_MONO
};

// BE_EncoderConfig::crcWord carries three settings: the CRC flag, the quality and the VBR setting.
// Packed as given, unmasked: a value too wide for its field spills into the next.
constexpr uint32_t packCrcQualityVbr(uint32_t crcFlag, uint32_t quality, uint32_t vbr) {
    return crcFlag | quality << BE_CRC_WORD_QUALITY_SHIFT | vbr << BE_CRC_WORD_VBR_SHIFT;
}
constexpr bool crcFlagOf(uint32_t crcQualityVbr) {
    return (crcQualityVbr & 1u) != 0;
}
constexpr uint32_t qualityOf(uint32_t crcQualityVbr) {
    return (crcQualityVbr >> BE_CRC_WORD_QUALITY_SHIFT) & 0xFu;
}
constexpr uint32_t vbrSettingOf(uint32_t crcQualityVbr) {
    return (crcQualityVbr >> BE_CRC_WORD_VBR_SHIFT) & 0xFu;
}
static_assert(packCrcQualityVbr(1, 2, 0) == 0x201 && qualityOf(0x201) == 2 && crcFlagOf(0x201));
static_assert(vbrSettingOf(packCrcQualityVbr(0, 0, 4)) == 4);
// A quality of 16 reaches the library as VBR setting 1 (VBR quality 0), a VBR setting of 16 as 0
// (a constant bitrate).
static_assert(qualityOf(packCrcQualityVbr(0, 16, 0)) == 0 && vbrSettingOf(packCrcQualityVbr(0, 16, 0)) == 1);
static_assert(vbrSettingOf(packCrcQualityVbr(0, 0, 16)) == 0);

} // namespace be

static_assert(sizeof(BE_EncoderConfig) == 27);
static_assert(offsetof(BE_EncoderConfig, configKind) == 0);
static_assert(offsetof(BE_EncoderConfig, sampleRate) == 4);
static_assert(offsetof(BE_EncoderConfig, channelMode) == 8);
static_assert(offsetof(BE_EncoderConfig, bitrate) == 9);
static_assert(offsetof(BE_EncoderConfig, privateFlag) == 11);
static_assert(offsetof(BE_EncoderConfig, crcWord) == 15);
static_assert(offsetof(BE_EncoderConfig, copyrightFlag) == 19);
static_assert(offsetof(BE_EncoderConfig, originalFlag) == 23);

static_assert(sizeof(BE_VersionInfo) == 268);
static_assert(offsetof(BE_VersionInfo, dllMajor) == 0);
static_assert(offsetof(BE_VersionInfo, dllMinor) == 1);
static_assert(offsetof(BE_VersionInfo, engineMajor) == 2);
static_assert(offsetof(BE_VersionInfo, engineMinor) == 3);
static_assert(offsetof(BE_VersionInfo, releaseDay) == 4);
static_assert(offsetof(BE_VersionInfo, releaseMonth) == 5);
static_assert(offsetof(BE_VersionInfo, releaseYear) == 6);
static_assert(offsetof(BE_VersionInfo, homePage) == 8);
