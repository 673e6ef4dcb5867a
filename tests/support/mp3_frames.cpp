#include "mp3_frames.h"

#include <cstring>

namespace cvn::test {

namespace {

constexpr int kMpeg1Bitrates[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1};
constexpr int kMpeg2Bitrates[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1};
constexpr int kSampleRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

std::optional<Mp3Frame> readHeader(const std::vector<uint8_t>& bytes, size_t offset, size_t end) {
    if (offset + 4 > end) {
        return std::nullopt;
    }
    const uint32_t header = static_cast<uint32_t>(bytes[offset]) << 24 |
                            static_cast<uint32_t>(bytes[offset + 1]) << 16 |
                            static_cast<uint32_t>(bytes[offset + 2]) << 8 | bytes[offset + 3];
    if ((header >> 21) != 0x7FF || ((header >> 17) & 3) != 1) { // frame sync, Layer III
        return std::nullopt;
    }
    const uint32_t versionBits = (header >> 19) & 3;
    if (versionBits == 1) {
        return std::nullopt;
    }
    Mp3Frame frame{};
    frame.offset = offset;
    frame.mpegVersion = versionBits == 3 ? 1 : (versionBits == 2 ? 2 : 25);
    const uint32_t bitrateIndex = (header >> 12) & 0xF;
    const uint32_t rateIndex = (header >> 10) & 3;
    if (rateIndex == 3 || bitrateIndex == 0 || bitrateIndex == 15) {
        return std::nullopt;
    }
    frame.bitrate = frame.mpegVersion == 1 ? kMpeg1Bitrates[bitrateIndex] : kMpeg2Bitrates[bitrateIndex];
    frame.sampleRate = kSampleRates[frame.mpegVersion == 1 ? 0 : (frame.mpegVersion == 2 ? 1 : 2)][rateIndex];
    const int padding = (header >> 9) & 1;
    frame.crc = ((header >> 16) & 1) == 0;
    frame.privateBit = ((header >> 8) & 1) != 0;
    frame.channelMode = static_cast<int>((header >> 6) & 3);
    frame.copyright = ((header >> 3) & 1) != 0;
    frame.original = ((header >> 2) & 1) != 0;
    const int coefficient = frame.mpegVersion == 1 ? 144 : 72;
    frame.length = static_cast<size_t>(coefficient * frame.bitrate * 1000 / frame.sampleRate + padding);
    if (offset + frame.length > end) {
        return std::nullopt;
    }
    return frame;
}

} // namespace

std::vector<Mp3Frame> readMp3Frames(const std::vector<uint8_t>& bytes) {
    size_t end = bytes.size();
    if (end >= 128 && std::memcmp(bytes.data() + end - 128, "TAG", 3) == 0) {
        end -= 128;
    }
    // An ID3v2 tag in front: its size is in its header, seven bits a byte.
    size_t start = 0;
    if (bytes.size() >= 10 && std::memcmp(bytes.data(), "ID3", 3) == 0) {
        start = 10 + (size_t{bytes[6]} << 21 | size_t{bytes[7]} << 14 | size_t{bytes[8]} << 7 | bytes[9]);
    }
    std::vector<Mp3Frame> frames;
    for (size_t offset = start;;) {
        const std::optional<Mp3Frame> frame = readHeader(bytes, offset, end);
        if (!frame) {
            break;
        }
        frames.push_back(*frame);
        offset += frame->length;
    }
    return frames;
}

std::optional<VbrHeader> readVbrHeader(const std::vector<uint8_t>& bytes, const Mp3Frame& frame) {
    const bool mono = frame.channelMode == 3;
    const size_t sideInfo = frame.mpegVersion == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    // At a fixed offset, CRC or not: the encoder's program writes it there and decoders look there.
    const size_t at = frame.offset + 4 + sideInfo;
    if (at + 12 > frame.offset + frame.length) {
        return std::nullopt;
    }
    const std::string tag(reinterpret_cast<const char*>(bytes.data()) + at, 4);
    if (tag != "Xing" && tag != "Info") {
        return std::nullopt;
    }
    auto bigEndian = [&](size_t position) {
        return static_cast<uint32_t>(bytes[position]) << 24 |
               static_cast<uint32_t>(bytes[position + 1]) << 16 |
               static_cast<uint32_t>(bytes[position + 2]) << 8 | bytes[position + 3];
    };
    VbrHeader header{tag, std::nullopt};
    if (bigEndian(at + 4) & 1) {
        header.frames = bigEndian(at + 8);
    }
    return header;
}

} // namespace cvn::test
