// A setting's value as the registry keeps a REG_DWORD: four bytes, little-endian, whatever the
// machine. Written by the settings dialog and by cvnhost for one run's own settings.
#pragma once

#include <windows.h>

#include <cstdint>

namespace share {

inline LSTATUS writeDword(HKEY key, const char* name, uint32_t value) {
    const BYTE data[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                          static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    return RegSetValueExA(key, name, 0, REG_DWORD, data, sizeof data);
}

} // namespace share
