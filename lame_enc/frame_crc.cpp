#include "frame_crc.h"

namespace lame_enc {

namespace {

constexpr size_t kHeaderBytes = 4;
constexpr size_t kCrcBytes = 2;

uint16_t crc16(uint16_t crc, uint8_t byte) {
    for (int bit = 7; bit >= 0; --bit) {
        const bool carry = ((crc >> 15) ^ (byte >> bit)) & 1;
        crc = static_cast<uint16_t>(crc << 1);
        if (carry) {
            crc ^= 0x8005;
        }
    }
    return crc;
}

// The side information's size: MPEG-1 has 17 bytes for one channel and 32 for two, MPEG-2 and
// 2.5 half as much.
size_t sideInfoBytes(const uint8_t* header) {
    const bool mpeg1 = ((header[1] >> 3) & 3) == 3;
    const bool mono = (header[3] >> 6) == 3;
    return mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
}

} // namespace

void setFrameCrc(uint8_t* frame, size_t size) {
    const bool isLayer3Frame =
        size >= kHeaderBytes && frame[0] == 0xFF && (frame[1] & 0xE0) == 0xE0 && ((frame[1] >> 1) & 3) == 1;
    const bool protectedFrame = isLayer3Frame && (frame[1] & 1) == 0;
    if (!protectedFrame || size < kHeaderBytes + kCrcBytes + sideInfoBytes(frame)) {
        return;
    }
    uint16_t crc = 0xFFFF;
    crc = crc16(crc, frame[2]);
    crc = crc16(crc, frame[3]);
    const size_t sideInfoStart = kHeaderBytes + kCrcBytes;
    for (size_t i = sideInfoStart; i < sideInfoStart + sideInfoBytes(frame); ++i) {
        crc = crc16(crc, frame[i]);
    }
    frame[4] = static_cast<uint8_t>(crc >> 8);
    frame[5] = static_cast<uint8_t>(crc & 0xFF);
}

} // namespace lame_enc
