// The interface of the encoder library LAME_ENC.DLL: its six functions, their result codes and the
// two records that cross it. The plug-in binds the functions at run time; the library for Linux
// (lame_enc/) implements them. All six use the C calling convention; stream handles, sample and
// byte counts are unsigned 32-bit on every platform.
//
// Threading: the library may be called from several threads at once for different streams; one
// stream is used by one thread at a time. beVersion may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#define BE_CALL __cdecl
#else
#define BE_CALL
#endif

// The library's name as the plug-in loads it.
inline constexpr const char* kEncoderLibraryFileName = "LAME_ENC.DLL";

using BeResult = uint32_t;
using BeStream = uint32_t;

inline constexpr BeResult kBeSuccess = 0;
inline constexpr BeResult kBeInvalidFormat = 1;
inline constexpr BeResult kBeInvalidFormatParameters = 2;
inline constexpr BeResult kBeNoMoreHandles = 3;
inline constexpr BeResult kBeInvalidHandle = 4;

// The text the plug-in shows for a result code other than kBeSuccess.
inline const char* beErrorText(BeResult code) {
    switch (code) {
    case kBeInvalidFormat:
        return "Invalid Format";
    case kBeInvalidFormatParameters:
        return "Invalid Format Parameters";
    case kBeNoMoreHandles:
        return "No more Handles";
    case kBeInvalidHandle:
        return "Invalid Handle";
    default:
        return "Unknown BladeEnc Error";
    }
}

// The channel modes of EncoderConfig::channelMode.
enum class BeChannelMode : uint8_t { Stereo = 0, JointStereo = 1, DualChannel = 2, Mono = 3 };

// The CRC word of EncoderConfig: the CRC flag in bit 0, the quality shifted left by 8 and the VBR
// setting shifted left by 12. The plug-in packs the stored values as they are, without range
// checks, so a value too wide for its field spills into the next; the library reads each field
// back from its four bits.
inline constexpr uint32_t kCrcWordQualityShift = 8;
inline constexpr uint32_t kCrcWordVbrShift = 12;
constexpr uint32_t packCrcWord(uint32_t crcFlag, uint32_t quality, uint32_t vbr) {
    return crcFlag | quality << kCrcWordQualityShift | vbr << kCrcWordVbrShift;
}
constexpr bool crcFlagOf(uint32_t crcWord) {
    return (crcWord & 1u) != 0;
}
constexpr uint32_t qualityOf(uint32_t crcWord) {
    return (crcWord >> kCrcWordQualityShift) & 0xFu;
}
constexpr uint32_t vbrSettingOf(uint32_t crcWord) {
    return (crcWord >> kCrcWordVbrShift) & 0xFu;
}
static_assert(packCrcWord(1, 2, 0) == 0x201 && qualityOf(0x201) == 2 && crcFlagOf(0x201));
static_assert(vbrSettingOf(packCrcWord(0, 0, 4)) == 4);

// The configuration of a new stream: 27 bytes, packed, little-endian.
#pragma pack(push, 1)
struct EncoderConfig {
    uint32_t configKind;    // 0: this layout, the only kind there is
    uint32_t sampleRate;    // Hz
    uint8_t channelMode;    // a BeChannelMode
    uint16_t bitrate;       // kbit/s
    uint32_t privateFlag;   // nonzero: set the private bit of every frame
    uint32_t crcWord;       // packCrcWord(CRC flag, quality, VBR setting; 0 = constant bitrate)
    uint32_t copyrightFlag; // nonzero: set the copyright bit
    uint32_t originalFlag;  // nonzero: set the original bit
};
#pragma pack(pop)
static_assert(sizeof(EncoderConfig) == 27);
static_assert(offsetof(EncoderConfig, configKind) == 0);
static_assert(offsetof(EncoderConfig, sampleRate) == 4);
static_assert(offsetof(EncoderConfig, channelMode) == 8);
static_assert(offsetof(EncoderConfig, bitrate) == 9);
static_assert(offsetof(EncoderConfig, privateFlag) == 11);
static_assert(offsetof(EncoderConfig, crcWord) == 15);
static_assert(offsetof(EncoderConfig, copyrightFlag) == 19);
static_assert(offsetof(EncoderConfig, originalFlag) == 23);

inline constexpr size_t kHomePageSize = 260;

// The library's versions, release date and home page: 268 bytes, little-endian.
#pragma pack(push, 1)
struct EncoderVersionInfo {
    uint8_t dllMajor;
    uint8_t dllMinor;
    uint8_t engineMajor;
    uint8_t engineMinor;
    uint8_t releaseDay;
    uint8_t releaseMonth;
    uint16_t releaseYear;
    char homePage[kHomePageSize]; // zero-terminated within the record
};
#pragma pack(pop)
static_assert(sizeof(EncoderVersionInfo) == 268);
static_assert(offsetof(EncoderVersionInfo, dllMajor) == 0);
static_assert(offsetof(EncoderVersionInfo, dllMinor) == 1);
static_assert(offsetof(EncoderVersionInfo, engineMajor) == 2);
static_assert(offsetof(EncoderVersionInfo, engineMinor) == 3);
static_assert(offsetof(EncoderVersionInfo, releaseDay) == 4);
static_assert(offsetof(EncoderVersionInfo, releaseMonth) == 5);
static_assert(offsetof(EncoderVersionInfo, releaseYear) == 6);
static_assert(offsetof(EncoderVersionInfo, homePage) == 8);

extern "C" {

// Opens a stream for `config`. On 0, *chunkSamples is the number of 16-bit samples (both channels
// counted) that each beEncodeChunk call is to receive, *outputBufferSize is enough for the bytes
// of any single encode or flush call, and *stream is the new stream.
typedef BeResult(BE_CALL* BeInitStreamFunction)(EncoderConfig* config, uint32_t* chunkSamples,
                                                uint32_t* outputBufferSize, BeStream* stream);

// Encodes `sampleCount` interleaved samples (at most one chunk); on 0, *outputBytes bytes of MPEG
// audio, possibly none, stand in `output`.
typedef BeResult(BE_CALL* BeEncodeChunkFunction)(BeStream stream, uint32_t sampleCount,
                                                 const int16_t* samples, uint8_t* output,
                                                 uint32_t* outputBytes);

// Drains the encoder: on 0, the bytes it still held stand in `output`.
typedef BeResult(BE_CALL* BeDeinitStreamFunction)(BeStream stream, uint8_t* output, uint32_t* outputBytes);

// Releases the stream; called exactly once for every stream that beInitStream opened.
typedef BeResult(BE_CALL* BeCloseStreamFunction)(BeStream stream);

// Completes the VBR header of the finished, closed file at `path`. The Linux library also reserves
// a header frame in a constant-bitrate stream and completes it here as its Info frame, which
// carries the encoder delay and padding that gapless players trim.
typedef BeResult(BE_CALL* BeWriteVBRHeaderFunction)(const char* path);

// Fills the version record.
typedef BeResult(BE_CALL* BeVersionFunction)(EncoderVersionInfo* info);

} // extern "C"
