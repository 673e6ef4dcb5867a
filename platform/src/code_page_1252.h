// The ANSI code page of this platform layer: Windows-1252, the code page of the resource script.
#pragma once

#include <cstdint>

namespace cvn {

// The 1252 byte for a UTF-16 code unit, or '?' for one that code page 1252 lacks (as Windows does).
char ansiFromUtf16(char16_t unit);

} // namespace cvn
