// The rules of the 28 output formats: 14 bitrates, each in stereo (even index) and mono (odd
// index). The plug-in describes them to the host; a stream is set up from one.
#pragma once

#include "VelmoraPlugIn.h"

#include <cstdint>
#include <iterator>

inline constexpr uint16_t kBitrateTable[14] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
static_assert(std::size(kBitrateTable) * 2 == kFormatCount);

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

// The mono format of the same bitrate: stereo and mono of one bitrate stand side by side.
inline int32_t monoFormatOf(int32_t formatIndex) {
    return formatIndex | 1;
}
