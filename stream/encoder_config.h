// The encoder configuration that a stream builds from its format and the stored settings.
#pragma once

#include "common/encoder_settings.h"
#include "lame_enc_interface.hpp"

#include <cstdint>

namespace velmora {

// The configuration for a valid format index: 44100 Hz; mono for an odd index, otherwise joint
// stereo when stereoMode is 0 and stereo for any other value; the format's bitrate; each flag 1
// when its value is not 0; the CRC word: CRC flag | quality << 8 | vbr << 12, as stored.
BE_EncoderConfig encoderConfigFor(int32_t formatIndex, const share::StoredSettings& settings);

// Whether the finished file gets a VBR header: whenever VBR is on.
inline bool wantsVbrHeader(const share::StoredSettings& settings) {
    return cvn::plugInWritesHeaderFrame(settings[share::kVbr]);
}

} // namespace velmora
