// The 28 output formats: 14 bitrates, each in stereo (even index) and mono (odd index).
#pragma once

#include "VelmoraPlugIn.h"

#include <cstdint>

inline constexpr uint16_t kBitrateTable[14] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

inline bool isValidFormatIndex(int32_t formatIndex) {
    return formatIndex >= 0 && formatIndex < kFormatCount;
}

// For a valid index only.
inline uint16_t bitrateOf(int32_t formatIndex) {
    return kBitrateTable[formatIndex / 2];
}

inline bool isStereoFormat(int32_t formatIndex) {
    return formatIndex % 2 == 0;
}

// Fills the record for a valid index: the description from the module's template (string 3) in
// the resource language with the mode word in English, "MP3", and the byte rate.
void fillFormatInfo(HINSTANCE module, int32_t formatIndex, FormatInfo& info);
