// Reading the MPEG audio frames of an MP3 file, to check what an encoder wrote.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cvn::test {

struct Mp3Frame {
    size_t offset;
    size_t length;
    int mpegVersion; // 1, 2, or 25 for MPEG 2.5
    int bitrate;     // kbit/s
    int sampleRate;
    bool crc; // protection bit clear: a CRC follows the header
    bool privateBit;
    bool copyright;
    bool original;
    int channelMode; // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    int samples() const { return mpegVersion == 1 ? 1152 : 576; }
};

// The Layer III frames from the start of `bytes` (an ID3v1 tag at the end is passed over). Stops
// at the first place where no frame header stands.
std::vector<Mp3Frame> readMp3Frames(const std::vector<uint8_t>& bytes);

struct VbrHeader {
    std::string tag;                // "Xing" or "Info"
    std::optional<uint32_t> frames; // the frame count field, when present
};

// The Xing or Info header in the given (first) frame, if it holds one.
std::optional<VbrHeader> readVbrHeader(const std::vector<uint8_t>& bytes, const Mp3Frame& frame);

} // namespace cvn::test
