// The encoder library that does no work (share/null_encoder.h) as a library of its own, so that a
// benchmark of the plug-in's intake measures the plug-in alone.
#include "share/null_encoder.h"

#define NULL_EXPORT __attribute__((visibility("default")))

namespace null = share::null_encoder;

extern "C" {

NULL_EXPORT BE_Result beInitStream(BE_EncoderConfig* config, uint32_t* chunkSamples,
                                   uint32_t* outputBufferSize, BE_Stream* stream) {
    return null::initStream(config, chunkSamples, outputBufferSize, stream);
}

NULL_EXPORT BE_Result beEncodeChunk(BE_Stream stream, uint32_t sampleCount, const int16_t* samples,
                                    uint8_t* output, uint32_t* outputBytes) {
    return null::encodeChunk(stream, sampleCount, samples, output, outputBytes);
}

NULL_EXPORT BE_Result beDeinitStream(BE_Stream stream, uint8_t* output, uint32_t* outputBytes) {
    return null::deinitStream(stream, output, outputBytes);
}

NULL_EXPORT BE_Result beCloseStream(BE_Stream stream) {
    return null::closeStream(stream);
}

NULL_EXPORT BE_Result beWriteVBRHeader(const char* path) {
    return null::writeVBRHeader(path);
}

NULL_EXPORT BE_Result beVersion(BE_VersionInfo* info) {
    return null::version(info);
}

} // extern "C"
