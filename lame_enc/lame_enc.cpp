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
constexpr BeResult kOutOfMemory = kBeNoMoreHandles;

// beWriteVBRHeader's answer for a file that no finished stream produced.
constexpr BeResult kNoMatchingStream = kBeInvalidHandle;

// The checks that encoding and draining share, in their order (an open stream, then somewhere to
// put the byte count), before `work` runs on the stream; no exception gets out.
template <typename Work> BeResult withOpenStream(BeStream stream, uint32_t* outputBytes, Work work) {
    return share::withoutExceptions(kOutOfMemory, [&]() -> BeResult {
        const std::shared_ptr<lame_enc::LameStream> encoder = lame_enc::findStream(stream);
        if (!encoder) {
            return kBeInvalidHandle;
        }
        if (outputBytes == nullptr) {
            return kBeInvalidFormatParameters;
        }
        return work(*encoder, *outputBytes);
    });
}

} // namespace

extern "C" {

LAME_ENC_EXPORT BeResult beInitStream(EncoderConfig* config, uint32_t* chunkSamples,
                                      uint32_t* outputBufferSize, BeStream* stream) {
    return share::withoutExceptions(kOutOfMemory, [&]() -> BeResult {
        if (config == nullptr || chunkSamples == nullptr || outputBufferSize == nullptr ||
            stream == nullptr) {
            return kBeInvalidFormatParameters;
        }
        lame_enc::LameSettings settings;
        if (const BeResult result = lame_enc::settingsFrom(*config, settings); result != kBeSuccess) {
            return result;
        }
        std::shared_ptr<lame_enc::LameStream> encoder = lame_enc::LameStream::open(settings);
        if (!encoder) {
            return kBeInvalidFormatParameters;
        }
        const BeStream handle = lame_enc::storeStream(std::move(encoder));
        if (handle == lame_enc::kNoStream) {
            return kBeNoMoreHandles;
        }
        *chunkSamples = settings.chunkSamples();
        *outputBufferSize = lame_enc::outputBufferSize(settings);
        *stream = handle;
        return kBeSuccess;
    });
}

LAME_ENC_EXPORT BeResult beEncodeChunk(BeStream stream, uint32_t sampleCount, const int16_t* samples,
                                       uint8_t* output, uint32_t* outputBytes) {
    return withOpenStream(stream, outputBytes, [&](lame_enc::LameStream& encoder, uint32_t& bytes) {
        return encoder.encode(sampleCount, samples, output, bytes);
    });
}

LAME_ENC_EXPORT BeResult beDeinitStream(BeStream stream, uint8_t* output, uint32_t* outputBytes) {
    return withOpenStream(stream, outputBytes, [&](lame_enc::LameStream& encoder, uint32_t& bytes) {
        const BeResult result = encoder.flush(output, bytes);
        if (result == kBeSuccess) {
            lame_enc::addPendingHeader(encoder.fingerprint(), encoder.headerFrame());
        }
        return result;
    });
}

LAME_ENC_EXPORT BeResult beCloseStream(BeStream stream) {
    return lame_enc::removeStream(stream) ? kBeSuccess : kBeInvalidHandle;
}

LAME_ENC_EXPORT BeResult beWriteVBRHeader(const char* path) {
    return share::withoutExceptions(kOutOfMemory, [&]() -> BeResult {
        if (path == nullptr) {
            return kNoMatchingStream;
        }
        return lame_enc::writePendingHeader(path) ? kBeSuccess : kNoMatchingStream;
    });
}

LAME_ENC_EXPORT BeResult beVersion(EncoderVersionInfo* info) {
    if (info == nullptr) {
        return kBeInvalidFormatParameters;
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
    return kBeSuccess;
}

} // extern "C"
