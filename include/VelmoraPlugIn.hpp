// VelmoraPlugIn for C++: the format table, the meanings of the stored settings and the layout checks
// of the records in VelmoraPlugIn.h, which is the contract itself and is also read by C hosts.
#pragma once

#include "VelmoraPlugIn.h"

#include <cstddef>
#include <cstdint>

namespace cvn {

// The bitrate of a format is entry index / 2 of the table.
inline constexpr uint16_t kBitrateTable[14] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
static_assert(sizeof kBitrateTable / sizeof kBitrateTable[0] * 2 == CVN_FORMAT_COUNT);

// The format a host offers first: 128 kbit/s stereo.
inline constexpr int32_t kDefaultFormat = 16;

constexpr bool isValidFormatIndex(int32_t formatIndex) {
    return formatIndex >= 0 && formatIndex < CVN_FORMAT_COUNT;
}

// For a valid index only.
constexpr uint16_t bitrateOf(int32_t formatIndex) {
    return kBitrateTable[formatIndex / 2];
}

constexpr bool isStereoFormat(int32_t formatIndex) {
    return formatIndex % 2 == 0;
}

// The mono format of the same bitrate.
constexpr int32_t monoFormatOf(int32_t formatIndex) {
    return formatIndex | 1;
}
static_assert(bitrateOf(kDefaultFormat) == 128 && isStereoFormat(kDefaultFormat));

// The stored VBR value of VBR quality 0 (best) to 9, and back (for a value other than CVN_VBR_OFF).
constexpr uint32_t vbrValueOf(int vbrQuality) {
    return static_cast<uint32_t>(vbrQuality) + 1;
}
constexpr int vbrQualityOf(uint32_t vbrValue) {
    return static_cast<int>(vbrValue) - 1;
}
static_assert(vbrValueOf(9) == CVN_VBR_HIGHEST && vbrQualityOf(vbrValueOf(0)) == 0);

// Whether the plug-in has the encoder library write a finished file's header frame (its VBR
// header): with VBR on only. A host that wants the Info frame of a constant-bitrate file asks the
// library itself.
constexpr bool plugInWritesHeaderFrame(uint32_t vbrValue) {
    return vbrValue != CVN_VBR_OFF;
}

} // namespace cvn

static_assert(sizeof(CVN_PlugInInfo) == 172);
static_assert(offsetof(CVN_PlugInInfo, firstWord) == 0);
static_assert(offsetof(CVN_PlugInInfo, formatCount) == 4);
static_assert(offsetof(CVN_PlugInInfo, name) == 8);
static_assert(offsetof(CVN_PlugInInfo, fileTypeText) == 136);
static_assert(offsetof(CVN_PlugInInfo, lastWord) == 168);

static_assert(sizeof(CVN_FormatInfo) == 136);
static_assert(offsetof(CVN_FormatInfo, description) == 0);
static_assert(offsetof(CVN_FormatInfo, extension) == 128);
static_assert(offsetof(CVN_FormatInfo, byteRate) == 132);

static_assert(sizeof(CVN_TrackInfo) == 1045);
static_assert(offsetof(CVN_TrackInfo, size) == 0);
static_assert(offsetof(CVN_TrackInfo, title) == 4);
static_assert(offsetof(CVN_TrackInfo, album) == 264);
static_assert(offsetof(CVN_TrackInfo, artist) == 524);
static_assert(offsetof(CVN_TrackInfo, genre) == 784);
static_assert(offsetof(CVN_TrackInfo, track) == 1044);
