// The interface of the encoder library LAME_ENC.DLL: its six functions, their result codes and the
// two records that cross it. The plug-in binds the functions at run time; the library for Linux
// (lame_enc/) implements them. All six use the C calling convention; stream handles, sample and
// byte counts are unsigned 32-bit on every platform.
//
// Threading: the library may be called from several threads at once for different streams; one
// stream is used by one thread at a time. beVersion may be called from any thread.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#define BE_CALL __cdecl
#else
#define BE_CALL
#endif

// The library's name as the plug-in loads it.
#define BE_ENCODER_LIBRARY_FILE_NAME "LAME_ENC.DLL"

typedef uint32_t BE_Result;
typedef uint32_t BE_Stream;

#define BE_SUCCESS 0u
#define BE_ERR_INVALID_FORMAT 1u
#define BE_ERR_INVALID_FORMAT_PARAMETERS 2u
#define BE_ERR_NO_MORE_HANDLES 3u
#define BE_ERR_INVALID_HANDLE 4u

// The channel modes of BE_EncoderConfig::channelMode.
#define BE_MODE_STEREO 0
#define BE_MODE_JOINT_STEREO 1
#define BE_MODE_DUAL_CHANNEL 2
#define BE_MODE_MONO 3

// The CRC word of BE_EncoderConfig: the CRC flag in bit 0, the quality (the stored Quality value)
// shifted left by 8 and the VBR setting (the stored VBR value) shifted left by 12. The plug-in
// packs the stored values as they are, without range checks, so a value too wide for its field
// spills into the next; the library reads each field back from its four bits.
#define BE_CRC_WORD_QUALITY_SHIFT 8u
#define BE_CRC_WORD_VBR_SHIFT 12u

// The configuration of a new stream: 27 bytes, packed, little-endian.
#pragma pack(push, 1)
typedef struct BE_EncoderConfig {
    uint32_t configKind;    // 0: this layout, the only kind there is
    uint32_t sampleRate;    // Hz
    uint8_t channelMode;    // a BE_MODE_*
    uint16_t bitrate;       // kbit/s
    uint32_t privateFlag;   // nonzero: set the private bit of every frame
    uint32_t crcWord;       // CRC flag, quality, VBR setting (0 = constant bitrate), as above
    uint32_t copyrightFlag; // nonzero: set the copyright bit
    uint32_t originalFlag;  // nonzero: set the original bit
} BE_EncoderConfig;
#pragma pack(pop)

#define BE_HOME_PAGE_SIZE 260

// The library's versions, release date and home page: 268 bytes, little-endian.
#pragma pack(push, 1)
typedef struct BE_VersionInfo {
    uint8_t dllMajor;
    uint8_t dllMinor;
    uint8_t engineMajor;
    uint8_t engineMinor;
    uint8_t releaseDay;
    uint8_t releaseMonth;
    uint16_t releaseYear;
    char homePage[BE_HOME_PAGE_SIZE]; // zero-terminated within the record
} BE_VersionInfo;
#pragma pack(pop)

#ifdef __cplusplus
extern "C" {
#endif

// Opens a stream for `config`. On 0, *chunkSamples is the number of 16-bit samples (both channels
// counted) that each beEncodeChunk call is to receive, *outputBufferSize is enough for the bytes
// of any single encode or flush call, and *stream is the new stream.
typedef BE_Result(BE_CALL* BE_InitStreamFunction)(BE_EncoderConfig* config, uint32_t* chunkSamples,
                                                  uint32_t* outputBufferSize, BE_Stream* stream);

// Encodes `sampleCount` interleaved samples (at most one chunk); on 0, *outputBytes bytes of MPEG
// audio, possibly none, stand in `output`.
typedef BE_Result(BE_CALL* BE_EncodeChunkFunction)(BE_Stream stream, uint32_t sampleCount,
                                                   const int16_t* samples, uint8_t* output,
                                                   uint32_t* outputBytes);

// Drains the encoder: on 0, the bytes it still held stand in `output`.
typedef BE_Result(BE_CALL* BE_DeinitStreamFunction)(BE_Stream stream, uint8_t* output, uint32_t* outputBytes);

// Releases the stream; called exactly once for every stream that beInitStream opened.
typedef BE_Result(BE_CALL* BE_CloseStreamFunction)(BE_Stream stream);

// Completes the VBR header of the finished, closed file at `path`. The Linux library also reserves
// a header frame in a constant-bitrate stream and completes it here as its Info frame, which
// carries the encoder delay and padding that gapless players trim.
typedef BE_Result(BE_CALL* BE_WriteVBRHeaderFunction)(const char* path);

// Fills the version record.
typedef BE_Result(BE_CALL* BE_VersionFunction)(BE_VersionInfo* info);

#ifdef __cplusplus
} // extern "C"
#endif
