// The names a device takes. An output's path below --out-dir is made of names (folders, then the
// file with its extension), and each follows the rules of the file system and the player it is
// for: a reserved DOS name gets a "_" (CON.mp3 is CON_.mp3 on FAT), letters outside ASCII are
// transliterated for players that show no others, and a name longer than the file system takes
// is shortened, its extension kept, cut between characters as a reader sees them. The length is
// counted as the file system counts it: bytes on Linux's own, UTF-16 units for the long names of
// FAT, exFAT and NTFS.
//
// Two names are one when they are equal after Unicode normalisation (NFC) and case folding: FAT
// and exFAT take "Intro" and "intro" for one file, and a copy made elsewhere is often put on a
// card later.
#pragma once

#include "files/name_length.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace cvnhost {

struct NameRules {
    bool fatNames = false;   // no reserved DOS names
    bool asciiNames = false; // transliterated to ASCII
    size_t nameMax = 255;    // per folder or file name, in `units`
    size_t pathMax = 0;      // for the whole path below --out-dir, in `units`; 0: no limit
    NameUnits units = NameUnits::Bytes;
};

// The key under which names are one: NFC, then full case folding.
std::string foldedName(std::string_view name);

// `name` (a file name whose extension follows its last dot, when `hasExtension`) cut to at most
// `most` units at a character boundary, its extension kept, no trailing dot, space or separator left.
std::string shortenedName(const std::string& name, size_t most, NameUnits units, bool hasExtension);

// The relative path (folders and a file name ending in its extension) following `rules`.
std::string followNameRules(const std::string& relativePath, const NameRules& rules);

// The file name with " (N)" before its extension, its stem shortened so that it is at most `most`
// units long.
std::string numberedName(const std::string& fileName, unsigned number, size_t most, NameUnits units);

} // namespace cvnhost
