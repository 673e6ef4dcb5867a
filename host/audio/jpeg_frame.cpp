#include "audio/jpeg_frame.h"

namespace cvnhost {

namespace {

// The markers of a frame header: SOF0 to SOF15 but DHT (C4), JPG (C8) and DAC (CC).
bool isFrameMarker(uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length: TEM and the restart markers.
bool standsAlone(uint8_t marker) {
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

int bigEndian16(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] << 8 | bytes[at + 1];
}

} // namespace

std::optional<JpegFrame> jpegFrameOf(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
        return std::nullopt;
    }
    size_t at = 2;
    while (at < bytes.size() && bytes[at] == 0xFF) {
        while (at < bytes.size() && bytes[at] == 0xFF) { // a marker may follow fill bytes
            ++at;
        }
        if (at + 2 >= bytes.size()) {
            return std::nullopt;
        }
        const uint8_t marker = bytes[at];
        if (standsAlone(marker)) {
            ++at;
            continue;
        }
        const int length = bigEndian16(bytes, at + 1); // of the segment, its own two bytes counted
        // A frame header is 8 bytes before its components; a scan or the end before one is no frame.
        if (isFrameMarker(marker) && length >= 8 && at + 8 < bytes.size()) {
            return JpegFrame{.width = bigEndian16(bytes, at + 6),
                             .height = bigEndian16(bytes, at + 4),
                             .baseline = (marker == 0xC0 || marker == 0xC1) && bytes[at + 3] == 8};
        }
        if (isFrameMarker(marker) || marker == 0xDA || marker == 0xD9 || length < 2) {
            return std::nullopt;
        }
        at += 1 + static_cast<size_t>(length);
    }
    return std::nullopt;
}

} // namespace cvnhost
