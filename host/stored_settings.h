// The plug-in's stored settings as cvnhost hands them to an encode: the key opened for reading
// only, and the seven values checked before any stream starts, so that a problem is named with its
// cause and the registry file instead of surfacing as a stream that would not start.
#pragma once

#include <windows.h>

#include <string>

namespace cvnhost {

// Opens HKEY_CURRENT_USER\`path` for an encode, which never writes the registry: read only, and
// when the key does not exist, a volatile key of that path stands in (the plug-in then reads its
// defaults). Null with the cause in `error`.
HKEY openSettingsForEncoding(const std::string& path, std::string& error);

// Reads the seven values as the plug-in will: a value that is there but cannot be read, or a
// Quality or VBR outside what the settings dialog stores (0 to 2, 0 to 10), is an error naming
// the value, the key and the registry file. A missing value is the plug-in's default.
bool checkStoredSettings(HKEY key, const std::string& path, std::string& error);

// "the registry file PATH" and, for a failed registry call, its cause in words.
std::string registryFileName();
std::string registryErrorText(LSTATUS status);

} // namespace cvnhost
