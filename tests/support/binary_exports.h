// The names a binary exports, read from the file itself: the export table of a PE file (DLL) or
// the defined global symbols of an ELF file's dynamic symbol table (.so).
#pragma once

#include <set>
#include <string>

namespace cvn::test {

// Throws std::runtime_error when the file cannot be read or is neither PE nor 64-bit ELF.
std::set<std::string> exportedNames(const std::string& path);

// The DLLs a PE file imports from, as its import table names them.
std::set<std::string> importedLibraries(const std::string& path);

} // namespace cvn::test
