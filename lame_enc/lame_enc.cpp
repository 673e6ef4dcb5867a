// The six functions of the encoder library, over libmp3lame.
#include "lame_settings.h"
#include "share/no_exceptions.h"
#include "stream_table.h"
#include "vbr_headers.h"

#include <lame/lame.h>

#include <cstring>

#define LAME_ENC_EXPORT __attribute__((visibility("default")))

namespace {

// This library's own version and release date.
constexpr uint8_t kLibraryMajor = 1;
constexpr uint8_t kLibraryMinor = 0;
constexpr uint8_t kReleaseDay = 9;
constexpr uint8_t kReleaseMonth = 12;
constexpr uint16_t kReleaseYear = 2026;

// The answer when memory runs out: the interface has no code of its own for it, and "No more
// Handles" is the nearest. No C++ exception may reach the C caller.
constexpr BE_Result kOutOfMemory = BE_ERR_NO_MORE_HANDLES;

// beWriteVBRHeader's answer for a file that no finished stream produced.
constexpr BE_Result kNoMatchingStream = BE_ERR_INVALID_HANDLE;

// The checks that encoding and draining share, in their order (an open stream, then somewhere to
// put the byte count), before `work` runs on the stream; no exception gets out.
template <typename Work> BE_Result withOpenStream(BE_Stream stream, uint32_t* outputBytes, Work work) {
    return share::withoutExceptions(kOutOfMemory, [&]() -> BE_Result {
        const std::shared_ptr<lame_enc::LameStream> encoder = lame_enc::findStream(stream);
        if (!encoder) {
            return BE_ERR_INVALID_HANDLE;
        }
        if (outputBytes == nullptr) {
            return BE_ERR_INVALID_FORMAT_PARAMETERS;
        }
        return work(*encoder, *outputBytes);
    });
}

} // namespace

extern "C" {

LAME_ENC_EXPORT BE_Result beInitStream(BE_EncoderConfig* config, uint32_t* chunkSamples,
                                       uint32_t* outputBufferSize, BE_Stream* stream) {
    return share::withoutExceptions(kOutOfMemory, [&]() -> BE_Result {
        if (config == nullptr || chunkSamples == nullptr || outputBufferSize == nullptr ||
            stream == nullptr) {
            return BE_ERR_INVALID_FORMAT_PARAMETERS;
        }
        lame_enc::LameSettings settings;
        if (const BE_Result result = lame_enc::settingsFrom(*config, settings); result != BE_SUCCESS) {
            return result;
        }
        std::shared_ptr<lame_enc::LameStream> encoder = lame_enc::LameStream::open(settings);
        if (!encoder) {
            return BE_ERR_INVALID_FORMAT_PARAMETERS;
        }
        const BE_Stream handle = lame_enc::storeStream(std::move(encoder));
        if (handle == lame_enc::kNoStream) {
            return BE_ERR_NO_MORE_HANDLES;
        }
        *chunkSamples = settings.chunkSamples();
        *outputBufferSize = lame_enc::outputBufferSize(settings);
        *stream = handle;
        return BE_SUCCESS;
    });
}

LAME_ENC_EXPORT BE_Result beEncodeChunk(BE_Stream stream, uint32_t sampleCount, const int16_t* samples,
                                        uint8_t* output, uint32_t* outputBytes) {
    return withOpenStream(stream, outputBytes, [&](lame_enc::LameStream& encoder, uint32_t& bytes) {
        return encoder.encode(sampleCount, samples, output, bytes);
    });
}

LAME_ENC_EXPORT BE_Result beDeinitStream(BE_Stream stream, uint8_t* output, uint32_t* outputBytes) {
    return withOpenStream(stream, outputBytes, [&](lame_enc::LameStream& encoder, uint32_t& bytes) {
        const BE_Result result = encoder.flush(output, bytes);
        if (result == BE_SUCCESS) {
            lame_enc::addPendingHeader(encoder.fingerprint(), encoder.headerFrame());
        }
        return result;
    });
}

LAME_ENC_EXPORT BE_Result beCloseStream(BE_Stream stream) {
    return lame_enc::removeStream(stream) ? BE_SUCCESS : BE_ERR_INVALID_HANDLE;
}

LAME_ENC_EXPORT BE_Result beWriteVBRHeader(const char* path) {
    return share::withoutExceptions(kOutOfMemory, [&]() -> BE_Result {
        if (path == nullptr) {
            return kNoMatchingStream;
        }
        return lame_enc::writePendingHeader(path) ? BE_SUCCESS : kNoMatchingStream;
    });
}

LAME_ENC_EXPORT BE_Result beVersion(BE_VersionInfo* info) {
    if (info == nullptr) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    std::memset(info, 0, sizeof *info);
    info->dllMajor = kLibraryMajor;
    info->dllMinor = kLibraryMinor;
    lame_version_t engine{};
    get_lame_version_numerical(&engine);
    info->engineMajor = static_cast<uint8_t>(engine.major);
    info->engineMinor = static_cast<uint8_t>(engine.minor);
    info->releaseDay = kReleaseDay;
    info->releaseMonth = kReleaseMonth;
    info->releaseYear = kReleaseYear;
    std::strncpy(info->homePage, get_lame_url(), sizeof info->homePage - 1);
    return BE_SUCCESS;
}

} // extern "C"
