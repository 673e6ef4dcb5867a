#include "binary_exports.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace cvn::test {

namespace {

using Bytes = std::vector<unsigned char>;

uint64_t readLittleEndian(const Bytes& bytes, size_t offset, size_t size) {
    if (offset + size > bytes.size()) {
        throw std::runtime_error("truncated binary");
    }
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i) {
        value |= static_cast<uint64_t>(bytes[offset + i]) << (8 * i);
    }
    return value;
}

uint32_t u32(const Bytes& b, size_t offset) {
    return static_cast<uint32_t>(readLittleEndian(b, offset, 4));
}
uint16_t u16(const Bytes& b, size_t offset) {
    return static_cast<uint16_t>(readLittleEndian(b, offset, 2));
}

std::string stringAt(const Bytes& bytes, size_t offset) {
    std::string text;
    for (; offset < bytes.size() && bytes[offset] != 0; ++offset) {
        text += static_cast<char>(bytes[offset]);
    }
    return text;
}

// The file offset of each data directory's address, by the PE section table.
struct PeLayout {
    size_t directories = 0;
    size_t sections = 0;
    uint16_t sectionCount = 0;

    explicit PeLayout(const Bytes& file);
    size_t fileOffset(const Bytes& file, uint32_t rva) const;
    uint32_t directory(const Bytes& file, int index) const { return u32(file, directories + 8 * index); }
};

PeLayout::PeLayout(const Bytes& file) {
    const uint32_t pe = u32(file, 0x3C);
    if (u32(file, pe) != 0x00004550) {
        throw std::runtime_error("no PE signature");
    }
    const size_t coff = pe + 4;
    sectionCount = u16(file, coff + 2);
    const size_t optional = coff + 20;
    directories = optional + (u16(file, optional) == 0x20B ? 112 : 96);
    sections = optional + u16(file, coff + 16);
}

size_t PeLayout::fileOffset(const Bytes& file, uint32_t rva) const {
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const size_t section = sections + 40 * i;
        const uint32_t virtualSize = u32(file, section + 8);
        const uint32_t virtualAddress = u32(file, section + 12);
        const uint32_t rawSize = u32(file, section + 16);
        const uint32_t extent = virtualSize > rawSize ? virtualSize : rawSize;
        if (rva >= virtualAddress && rva < virtualAddress + extent) {
            return u32(file, section + 20) + (rva - virtualAddress);
        }
    }
    throw std::runtime_error("address outside every section");
}

std::set<std::string> peExports(const Bytes& file) {
    const PeLayout layout(file);
    auto fileOffset = [&](uint32_t rva) { return layout.fileOffset(file, rva); };
    const uint32_t exportRva = layout.directory(file, 0);
    std::set<std::string> names;
    if (exportRva == 0) {
        return names;
    }
    const size_t exports = fileOffset(exportRva);
    const uint32_t functionCount = u32(file, exports + 20);
    const uint32_t nameCount = u32(file, exports + 24);
    const size_t nameTable = fileOffset(u32(file, exports + 32));
    for (uint32_t i = 0; i < nameCount; ++i) {
        names.insert(stringAt(file, fileOffset(u32(file, nameTable + 4 * i))));
    }
    // An entry exported by ordinal only would have no name; show it as such.
    for (uint32_t i = nameCount; i < functionCount; ++i) {
        names.insert("#ordinal-only-" + std::to_string(i));
    }
    return names;
}

std::set<std::string> peImports(const Bytes& file) {
    const PeLayout layout(file);
    std::set<std::string> libraries;
    const uint32_t importRva = layout.directory(file, 1);
    if (importRva == 0) {
        return libraries;
    }
    // Import descriptors of 20 bytes, the name's address at +12, ended by an all-zero one.
    for (size_t descriptor = layout.fileOffset(file, importRva); u32(file, descriptor + 12) != 0;
         descriptor += 20) {
        libraries.insert(stringAt(file, layout.fileOffset(file, u32(file, descriptor + 12))));
    }
    return libraries;
}

// Where the fields this reader needs stand in the header, a section and a symbol of each ELF class.
struct ElfLayout {
    size_t word;          // the size of an address or offset
    size_t sectionTable;  // e_shoff
    size_t sectionSize;   // e_shentsize, e_shnum follows
    size_t sectionOffset; // sh_offset, sh_size follows
    size_t sectionLink;   // sh_link
    size_t sectionEntry;  // sh_entsize
    size_t symbolInfo;    // st_info
    size_t symbolSection; // st_shndx
};

constexpr ElfLayout kElf32{4, 0x20, 0x2E, 0x10, 0x18, 0x24, 12, 14};
constexpr ElfLayout kElf64{8, 0x28, 0x3A, 0x18, 0x28, 0x38, 4, 6};

std::set<std::string> elfExports(const Bytes& file) {
    if (file.size() < 64 || (file[4] != 1 && file[4] != 2)) {
        throw std::runtime_error("not a 32-bit or 64-bit ELF file");
    }
    const ElfLayout& elf = file[4] == 1 ? kElf32 : kElf64;
    auto word = [&](size_t offset) { return static_cast<size_t>(readLittleEndian(file, offset, elf.word)); };
    const size_t sectionTable = word(elf.sectionTable);
    const uint16_t sectionSize = u16(file, elf.sectionSize);
    const uint16_t sectionCount = u16(file, elf.sectionSize + 2);
    std::set<std::string> names;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const size_t section = sectionTable + static_cast<size_t>(sectionSize) * i;
        if (u32(file, section + 4) != 11) { // SHT_DYNSYM
            continue;
        }
        const size_t symbols = word(section + elf.sectionOffset);
        const size_t symbolsSize = word(section + elf.sectionOffset + elf.word);
        const uint32_t link = u32(file, section + elf.sectionLink);
        const size_t entrySize = word(section + elf.sectionEntry);
        const size_t strings =
            word(sectionTable + static_cast<size_t>(sectionSize) * link + elf.sectionOffset);
        for (size_t symbol = symbols + entrySize; symbol < symbols + symbolsSize; symbol += entrySize) {
            const uint8_t binding = file.at(symbol + elf.symbolInfo) >> 4;
            const uint16_t sectionIndex = u16(file, symbol + elf.symbolSection);
            if (sectionIndex != 0 && (binding == 1 || binding == 2)) { // defined, GLOBAL or WEAK
                names.insert(stringAt(file, strings + u32(file, symbol)));
            }
        }
    }
    return names;
}

} // namespace

namespace {

Bytes readBinary(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        throw std::runtime_error("cannot open " + path);
    }
    return Bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

bool isPe(const Bytes& file) {
    return file.size() >= 2 && file[0] == 'M' && file[1] == 'Z';
}

} // namespace

std::set<std::string> importedLibraries(const std::string& path) {
    const Bytes file = readBinary(path);
    if (!isPe(file)) {
        throw std::runtime_error(path + " is not a PE file");
    }
    return peImports(file);
}

std::set<std::string> exportedNames(const std::string& path) {
    const Bytes file = readBinary(path);
    if (isPe(file)) {
        return peExports(file);
    }
    if (file.size() >= 4 && std::memcmp(file.data(),
                                        "\x7f"
                                        "ELF",
                                        4) == 0) {
        return elfExports(file);
    }
    throw std::runtime_error(path + " is neither a PE nor an ELF file");
}

} // namespace cvn::test
