// What a JPEG file's frame header says, read without decoding it: whether every decoder can show
// it as it is (cover_scaling.h), and how far FFmpeg may reduce it while decoding (picture_scaler.h).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace cvnhost {

// What a JPEG's frame header (its SOF segment) says.
struct JpegFrame {
    int width = 0;
    int height = 0; // 0: given later in the file (a DNL segment)
    // SOF0 or SOF1 at 8 bits a sample: what every decoder reads; progressive (SOF2), lossless,
    // arithmetic coded and 12-bit ones are not.
    bool baseline = false;
};

// The frame header of a JPEG file, found by walking its segments; nothing for what is no JPEG or
// ends before it.
std::optional<JpegFrame> jpegFrameOf(const std::vector<uint8_t>& bytes);

} // namespace cvnhost
