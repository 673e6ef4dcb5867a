// How a file system counts the length of a name: in bytes (Linux's own file systems), or in UTF-16
// units (the long names of FAT, exFAT and NTFS), which a name of Japanese or Cyrillic letters fits
// far better.
#pragma once

#include <cstddef>
#include <string_view>

namespace cvnhost {

enum class NameUnits { Bytes, Utf16 };

// The length of `text` (UTF-8) as `units` count it.
size_t lengthIn(std::string_view text, NameUnits units);

} // namespace cvnhost
