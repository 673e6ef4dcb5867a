// Texts made from a wsprintfA template into a field of the plug-in's: wsprintfA may write up to
// 1024 characters, more than any field holds, so it writes into a buffer of that size and the
// field gets what fits, always terminated.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstring>

namespace velmora {

template <typename... Arguments>
void formatIntoField(char* field, size_t fieldSize, const char* format, Arguments... arguments) {
    char formatted[1024];
    wsprintfA(formatted, format, arguments...);
    std::strncpy(field, formatted, fieldSize - 1);
    field[fieldSize - 1] = '\0';
}

} // namespace velmora
