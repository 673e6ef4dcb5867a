// The seven stored encoder settings and their reading. Stream setup turns them into an encoder
// configuration; the settings dialog shows and writes them.
#pragma once

#include "share/win32/settings_table.h" // the value names, the record

#include <windows.h>

#include <cstdint>

namespace velmora {

// One RegQueryValueExA into a 4-byte buffer; any failure (missing value, data longer than 4
// bytes, a null or invalid key) reads as 0. The value's type is not looked at; data shorter than
// 4 bytes fills the low bytes and leaves the rest 0.
uint32_t readSettingValue(HKEY key, const char* name);

// The values as stored, which the dialog writes as the table says and other writers may set to
// anything: those a stream of this format needs, read in the table's order (StereoMode, for
// stereo formats only, Copyright, CRC, Quality, VBR, Original, Private); the others are 0.
share::StoredSettings readStoredSettings(HKEY key, bool stereoFormat);

} // namespace velmora
