// Reading the compiled resource script (.res), the format that windres and rc write.
//
// A .res is a run of entries, each a header (data size, header size, type, name, language, ...)
// followed by its data, both padded to four bytes. The first entry is an empty one that marks the
// format. Only resources named by number are read: the plug-in names every resource by number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cvn {

struct ResourceEntry {
    uint16_t type;
    uint16_t name;
    uint16_t language;
    const unsigned char* data;
    size_t size;
};

// The entries of a .res image, in file order. A truncated or malformed entry ends the list: what
// was read before it is kept, nothing past it is trusted.
std::vector<ResourceEntry> parseResourceFile(const unsigned char* bytes, size_t size);

} // namespace cvn
