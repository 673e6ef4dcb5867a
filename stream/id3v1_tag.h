// The 128-byte ID3v1.1 tag that ends every output file.
//
//   0 "TAG" | 3 title (30) | 33 artist (30) | 63 album (30) | 93 year (4, zero) |
//   97 comment (28, zero) | 125 zero | 126 track number | 127 genre
#pragma once

#include "VelmoraPlugIn.hpp"

#include <array>
#include <cstdint>

namespace velmora {

inline constexpr size_t kId3v1TagSize = 128;
using Id3v1Tag = std::array<uint8_t, kId3v1TagSize>;

// Texts are taken byte for byte (no code page or case conversion, no trimming), cut to 30 bytes
// with no terminator when that long. The track number is the 0-based track byte plus 1 modulo 256;
// the genre is the number of the genre name, 255 when it names none.
Id3v1Tag buildId3v1Tag(const CVN_TrackInfo& texts);

} // namespace velmora
