// An encoder library that does no work: it takes every chunk and returns no bytes at once, so that
// a benchmark of the plug-in's intake measures the plug-in alone.
#include "lame_enc_interface.h"

#define NULL_EXPORT __attribute__((visibility("default")))

extern "C" {

NULL_EXPORT BeResult beInitStream(EncoderConfig*, uint32_t* chunkSamples, uint32_t* outputBufferSize,
                                  BeStream* stream) {
    *chunkSamples = 2304; // what libmp3lame asks for in stereo: one MPEG-1 frame
    *outputBufferSize = 8640;
    *stream = 1;
    return kBeSuccess;
}

NULL_EXPORT BeResult beEncodeChunk(BeStream, uint32_t, const int16_t*, uint8_t*, uint32_t* outputBytes) {
    *outputBytes = 0;
    return kBeSuccess;
}

NULL_EXPORT BeResult beDeinitStream(BeStream, uint8_t*, uint32_t* outputBytes) {
    *outputBytes = 0;
    return kBeSuccess;
}

NULL_EXPORT BeResult beCloseStream(BeStream) {
    return kBeSuccess;
}

NULL_EXPORT BeResult beWriteVBRHeader(const char*) {
    return kBeSuccess;
}

NULL_EXPORT BeResult beVersion(EncoderVersionInfo* info) {
    *info = EncoderVersionInfo{};
    return kBeSuccess;
}

} // extern "C"
