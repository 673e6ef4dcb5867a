// The gapless information of an iTunSMPB tag, which the encoder of one major vendor writes into
// M4A files: " 00000000 00000840 000001CA 00000000003F31F6 ...", in hexadecimal the priming
// samples, the padding samples and the samples of the track itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace cvnhost {

struct GaplessTrim {
    int64_t priming = 0;
    int64_t padding = 0;
    int64_t length = 0; // the track's samples, without priming and padding
};

// Nothing when `text` is not such a tag or gives no length.
std::optional<GaplessTrim> parseITunSmpb(const std::string& text);

} // namespace cvnhost
