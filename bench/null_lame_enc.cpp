// An encoder library that does no work: it takes every chunk and returns no bytes at once, so that
// a benchmark of the plug-in's intake measures the plug-in alone.
#include "lame_enc_interface.hpp"

#define NULL_EXPORT __attribute__((visibility("default")))

extern "C" {

NULL_EXPORT BE_Result beInitStream(BE_EncoderConfig*, uint32_t* chunkSamples, uint32_t* outputBufferSize,
                                   BE_Stream* stream) {
    *chunkSamples = 2304; // what libmp3lame asks for in stereo: one MPEG-1 frame
    *outputBufferSize = 8640;
    *stream = 1;
    return BE_SUCCESS;
}

NULL_EXPORT BE_Result beEncodeChunk(BE_Stream, uint32_t, const int16_t*, uint8_t*, uint32_t* outputBytes) {
    *outputBytes = 0;
    return BE_SUCCESS;
}

NULL_EXPORT BE_Result beDeinitStream(BE_Stream, uint8_t*, uint32_t* outputBytes) {
    *outputBytes = 0;
    return BE_SUCCESS;
}

NULL_EXPORT BE_Result beCloseStream(BE_Stream) {
    return BE_SUCCESS;
}

NULL_EXPORT BE_Result beWriteVBRHeader(const char*) {
    return BE_SUCCESS;
}

NULL_EXPORT BE_Result beVersion(BE_VersionInfo* info) {
    *info = BE_VersionInfo{};
    return BE_SUCCESS;
}

} // extern "C"
