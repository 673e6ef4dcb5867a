// The CRC-16 of an MPEG audio Layer III frame that carries one (its protection bit clear): over
// the last two bytes of the header and the side information, as decoders check it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lame_enc {

// Writes the CRC into the frame that starts at `frame` when it carries one and `size` holds its
// header and side information; leaves anything else as it is.
void setFrameCrc(uint8_t* frame, size_t size);

} // namespace lame_enc
