// The host's stereo frames made into the encoder library's 16-bit samples: handed over as they
// are for a stereo stream, mixed to their mean for a mono one. The mix runs on every sample of a
// mono stream, so on x86-64 it uses the widest vector unit the processor has.
#pragma once

#include <bit>
#include <cstdint>

namespace velmora {

// A frame holds the left sample in its low half and the right one in its high half: on a
// little-endian machine its bytes are those of the interleaved pair.
constexpr bool framesAreSamples() {
    return std::endian::native == std::endian::little;
}

// `count` frames as 2 * `count` interleaved samples.
void copyStereoFrames(const uint32_t* frames, uint32_t count, int16_t* samples);

// `count` frames as `count` samples, each the mean of its frame's two, rounded toward minus
// infinity (it always fits 16 bits).
void mixToMono(const uint32_t* frames, uint32_t count, int16_t* samples);

} // namespace velmora
