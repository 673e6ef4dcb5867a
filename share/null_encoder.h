// An encoder library that does no work: it takes every chunk and returns no bytes, so that what is
// measured or fuzzed is the plug-in alone. The benchmark exports it as a library of its own
// (bench/null_lame_enc.cpp); the intake fuzzer binds it in its own process and looks at what it
// was handed.
#pragma once

#include "lame_enc_interface.hpp"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace share::null_encoder {

// The chunk a stream asks for: by default what libmp3lame asks for in stereo (one MPEG-1 frame).
inline uint32_t g_chunkSamples = 2304;
// When set, every sample handed over is appended here.
inline std::vector<int16_t>* g_received = nullptr;

inline BE_Result BE_CALL initStream(BE_EncoderConfig*, uint32_t* chunkSamples, uint32_t* outputBufferSize,
                                    BE_Stream* stream) {
    *chunkSamples = g_chunkSamples;
    *outputBufferSize = 8640;
    *stream = 1;
    return BE_SUCCESS;
}

inline BE_Result BE_CALL encodeChunk(BE_Stream, uint32_t sampleCount, const int16_t* samples, uint8_t*,
                                     uint32_t* outputBytes) {
    if (sampleCount > g_chunkSamples) {
        std::abort(); // never more than one chunk
    }
    if (g_received != nullptr) {
        g_received->insert(g_received->end(), samples, samples + sampleCount);
    }
    *outputBytes = 0;
    return BE_SUCCESS;
}

inline BE_Result BE_CALL deinitStream(BE_Stream, uint8_t*, uint32_t* outputBytes) {
    *outputBytes = 0;
    return BE_SUCCESS;
}

inline BE_Result BE_CALL closeStream(BE_Stream) {
    return BE_SUCCESS;
}

inline BE_Result BE_CALL writeVBRHeader(const char*) {
    return BE_SUCCESS;
}

inline BE_Result BE_CALL version(BE_VersionInfo* info) {
    *info = BE_VersionInfo{};
    return BE_SUCCESS;
}

} // namespace share::null_encoder
