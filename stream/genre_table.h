// The ID3v1 genre numbers: 0 to 79 the ID3v1 list, 80 to 125 its common extension.
#pragma once

#include <cstdint>

namespace velmora {

inline constexpr int kGenreCount = 126;
inline constexpr uint8_t kNoGenre = 255;

extern const char* const kGenreNames[kGenreCount];

// The number of the genre that `name` names, comparing whole texts and folding only the ASCII
// letters A to Z (the same under every locale); kNoGenre when no name matches or name is null.
uint8_t genreNumber(const char* name);

} // namespace velmora
