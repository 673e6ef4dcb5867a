#include "resource_file.h"

#include <cstring>

namespace cvn {

namespace {

uint32_t readUint32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t readUint16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// Reads a type or name field at `offset` within a header of `headerSize` bytes. Returns false for
// a field that runs past the header; `ordinal` is set when the field is a number.
bool readNameField(const unsigned char* header, size_t headerSize, size_t& offset, bool& isOrdinal,
                   uint16_t& ordinal) {
    if (offset + 2 > headerSize) {
        return false;
    }
    if (readUint16(header + offset) == 0xFFFF) {
        if (offset + 4 > headerSize) {
            return false;
        }
        isOrdinal = true;
        ordinal = readUint16(header + offset + 2);
        offset += 4;
        return true;
    }
    isOrdinal = false;
    while (offset + 2 <= headerSize) {
        const uint16_t unit = readUint16(header + offset);
        offset += 2;
        if (unit == 0) {
            return true;
        }
    }
    return false;
}

size_t alignToFour(size_t value) {
    return (value + 3) & ~static_cast<size_t>(3);
}

} // namespace

std::vector<ResourceEntry> parseResourceFile(const unsigned char* bytes, size_t size) {
    std::vector<ResourceEntry> entries;
    size_t position = 0;
    while (position + 8 <= size) {
        const uint32_t dataSize = readUint32(bytes + position);
        const uint32_t headerSize = readUint32(bytes + position + 4);
        if (headerSize < 8 || headerSize > size - position || dataSize > size - position - headerSize) {
            break;
        }
        const unsigned char* header = bytes + position;
        size_t offset = 8;
        bool typeIsOrdinal = false;
        bool nameIsOrdinal = false;
        uint16_t type = 0;
        uint16_t name = 0;
        if (!readNameField(header, headerSize, offset, typeIsOrdinal, type) ||
            !readNameField(header, headerSize, offset, nameIsOrdinal, name)) {
            break;
        }
        offset = alignToFour(offset);
        // DataVersion (4), MemoryFlags (2), LanguageId (2), Version (4), Characteristics (4).
        if (offset + 16 > headerSize) {
            break;
        }
        const uint16_t language = readUint16(header + offset + 6);
        if (typeIsOrdinal && nameIsOrdinal && type != 0) {
            entries.push_back({type, name, language, header + headerSize, dataSize});
        }
        position = alignToFour(position + headerSize + dataSize);
    }
    return entries;
}

} // namespace cvn
