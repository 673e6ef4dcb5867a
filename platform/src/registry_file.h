// The registry's keys and values and their REGEDIT4 text form:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Corvane]
//   "StereoMode"=dword:00000001
//   "Blob"=hex:01,02,03
//   "Name"=hex(1):41,00
//
// A REG_DWORD of exactly 4 bytes is written as dword:, REG_BINARY as hex:, every other type and
// size as hex(type):. Names are quoted, with \ and " escaped by a backslash. This part is pure:
// the file, its lock and the handles are kept elsewhere.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace cvn {

struct RegistryValue {
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct RegistryKey {
    std::string path; // from the root, e.g. "HKEY_CURRENT_USER\Software\Corvane"
    std::vector<RegistryValue> values;
};

struct RegistryStore {
    // A deque, so that the key createKey returns stays where it is while more keys are created.
    std::deque<RegistryKey> keys;

    // Case-insensitive (ASCII) lookups; null when absent.
    RegistryKey* findKey(const std::string& path);
    RegistryValue* findValue(RegistryKey& key, const std::string& name);
    // The key, created (with no values) when absent.
    RegistryKey& createKey(const std::string& path);
};

// Reads the text form. Lines it cannot read are skipped, so a damaged line loses only itself.
RegistryStore parseRegistryText(const std::string& text);
std::string formatRegistryText(const RegistryStore& store);

bool equalIgnoringAsciiCase(const std::string& a, const std::string& b);

// Whether a key or value name can be stored: the text form is read line by line, so a name with a
// control character (a line break above all) could be read back as file structure. The registry
// functions refuse such names.
bool isStorableName(const std::string& name);

} // namespace cvn
