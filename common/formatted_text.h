// Texts made from a wsprintfA template into a field of the plug-in's: wsprintfA may write up to
// 1024 characters, more than any field holds, so it writes into a buffer of that size and the
// field gets what fits, always terminated and the rest of it cleared.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstring>

namespace velmora {

template <typename... Arguments>
void formatIntoField(char* field, size_t fieldSize, const char* format, Arguments... arguments) {
    char formatted[1024];
    wsprintfA(formatted, format, arguments...);
    // What fits, and zeros after it to the end of the field.
    const size_t length = ::strnlen(formatted, fieldSize - 1);
    std::memset(field, 0, fieldSize);
    std::memcpy(field, formatted, length);
}

} // namespace velmora
