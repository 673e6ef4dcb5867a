// The seven stored encoder settings: the record they are read into, and the reading. Stream setup turns them
// into an encoder configuration; the settings dialog shows and writes them.
#pragma once

#include "VelmoraPlugIn.hpp" // the value names

#include <windows.h>

#include <cstdint>

namespace velmora {

// The values as stored; a value that is missing or cannot be read is 0. The dialog writes
// stereoMode 0 (joint) or 1, the flags 0 or 1, quality 0 (normal), 1 (low) or 2 (high), vbr 0
// (constant bitrate) or 1 to 10 (VBR quality vbr - 1); other writers may store anything.
struct EncoderSettings {
    uint32_t stereoMode = 0;
    uint32_t copyright = 0;
    uint32_t crc = 0;
    uint32_t quality = 0;
    uint32_t vbr = 0;
    uint32_t original = 0;
    uint32_t privateBit = 0;
};

// One RegQueryValueExA into a 4-byte buffer; any failure (missing value, data longer than 4
// bytes, a null or invalid key) reads as 0. The value's type is not looked at; data shorter than
// 4 bytes fills the low bytes and leaves the rest 0.
uint32_t readSettingValue(HKEY key, const char* name);

// The settings a stream of this format needs, read in the order StereoMode (stereo formats only),
// Copyright, CRC, Quality, VBR, Original, Private.
EncoderSettings readEncoderSettings(HKEY key, bool stereoFormat);

} // namespace velmora
