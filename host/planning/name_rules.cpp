#include "planning/name_rules.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace cvnhost {

namespace {

std::string utf8Of(const icu::UnicodeString& text) {
    std::string bytes;
    text.toUTF8String(bytes);
    return bytes;
}

// The characters FAT and Windows refuse in a name, and the path's own separator.
bool refusedInName(unsigned char c) {
    return c < 0x20 || c == 0x7F || std::strchr("/\\:*?\"<>|", c) != nullptr;
}

std::string withoutRefused(std::string name) {
    std::replace_if(
        name.begin(), name.end(), [](char c) { return refusedInName(static_cast<unsigned char>(c)); }, '_');
    return name;
}

// A name without leading or trailing dots and spaces, which FAT drops or refuses; "_" for none.
std::string trimmed(const std::string& name) {
    const size_t first = name.find_first_not_of(". ");
    if (first == std::string::npos) {
        return "_";
    }
    return name.substr(first, name.find_last_not_of(". ") - first + 1);
}

// Transliterators are not safe to share between threads; names are planned on one, but a lock costs
// nothing beside the transliteration.
std::string asciiOf(const std::string& name) {
    static std::mutex turn;
    static std::unique_ptr<icu::Transliterator> latin;
    const std::lock_guard<std::mutex> lock(turn);
    if (!latin) {
        UErrorCode status = U_ZERO_ERROR;
        latin.reset(icu::Transliterator::createInstance("Any-Latin; Latin-ASCII", UTRANS_FORWARD, status));
        if (U_FAILURE(status)) {
            latin.reset();
        }
    }
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(name);
    if (latin) {
        latin->transliterate(text);
    }
    std::string ascii;
    for (const char c : utf8Of(text)) {
        ascii += static_cast<unsigned char>(c) < 0x80 ? c : '_';
    }
    // A letter outside ASCII is one or more bytes, each now "_": one stands for them.
    ascii.erase(std::unique(ascii.begin(), ascii.end(), [](char a, char b) { return a == '_' && b == '_'; }),
                ascii.end());
    return ascii;
}

bool isReservedDosName(std::string stem) {
    static constexpr std::array<const char*, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
    stem.erase(stem.find_last_not_of(' ') + 1);
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (std::find_if(kDevices.begin(), kDevices.end(), [&](const char* device) { return stem == device; }) !=
        kDevices.end()) {
        return true;
    }
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' &&
           stem[3] <= '9';
}

// CON.mp3 is CON_.mp3: the reserved part is what stands before the first dot.
std::string notReserved(const std::string& name) {
    const size_t dot = name.find('.');
    const std::string stem = name.substr(0, dot);
    return isReservedDosName(stem) ? stem + "_" + (dot == std::string::npos ? "" : name.substr(dot)) : name;
}

size_t extensionAt(const std::string& name, bool hasExtension) {
    const size_t dot = hasExtension ? name.rfind('.') : std::string::npos;
    return dot == std::string::npos || dot == 0 ? name.size() : dot;
}

// The longest start of `stem` of at most `most` units that ends between two characters.
std::string prefixWithin(const std::string& stem, size_t most, NameUnits units) {
    if (lengthIn(stem, units) <= most) {
        return stem;
    }
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(stem);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) {
        return {};
    }
    characters->setText(text);
    std::string kept;
    for (int32_t end = characters->next(); end != icu::BreakIterator::DONE; end = characters->next()) {
        std::string longer = utf8Of(text.tempSubString(0, end));
        if (lengthIn(longer, units) > most) {
            break;
        }
        kept = std::move(longer);
    }
    return kept;
}

std::vector<std::string> namesOf(const std::string& path) {
    std::vector<std::string> names;
    for (size_t start = 0;;) {
        const size_t slash = path.find('/', start);
        names.push_back(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos) {
            return names;
        }
        start = slash + 1;
    }
}

size_t pathLength(const std::vector<std::string>& names, NameUnits units) {
    size_t length = names.size() - 1; // the slashes
    for (const std::string& name : names) {
        length += lengthIn(name, units);
    }
    return length;
}

// Cuts the longest names until the path fits, down to one character each (and the file's extension).
void fitPath(std::vector<std::string>& names, const NameRules& rules) {
    for (size_t length = pathLength(names, rules.units); length > rules.pathMax;) {
        size_t longest = 0;
        for (size_t i = 1; i < names.size(); ++i) {
            longest = lengthIn(names[i], rules.units) > lengthIn(names[longest], rules.units) ? i : longest;
        }
        const bool isFile = longest + 1 == names.size();
        const size_t current = lengthIn(names[longest], rules.units);
        const size_t extension =
            lengthIn(names[longest].substr(extensionAt(names[longest], isFile)), rules.units);
        const size_t wanted = std::max(extension + 1, current - std::min(current, length - rules.pathMax));
        std::string shorter = shortenedName(names[longest], wanted, rules.units, isFile);
        if (lengthIn(shorter, rules.units) >= current) {
            return; // nothing more can be cut
        }
        names[longest] = std::move(shorter);
        length = pathLength(names, rules.units);
    }
}

} // namespace

std::string foldedName(std::string_view name) {
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(name.data(), name.size()));
    text.foldCase(U_FOLD_CASE_DEFAULT);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* composed = icu::Normalizer2::getNFCInstance(status);
    return utf8Of(U_SUCCESS(status) ? composed->normalize(text, status) : text);
}

std::string shortenedName(const std::string& name, size_t most, NameUnits units, bool hasExtension) {
    if (lengthIn(name, units) <= most) {
        return name;
    }
    const size_t dot = extensionAt(name, hasExtension);
    const std::string extension = name.substr(dot);
    const size_t room = most - std::min(most, lengthIn(extension, units));
    std::string stem = prefixWithin(name.substr(0, dot), room, units);
    stem.erase(stem.find_last_not_of(". -_,;") + 1); // what stood between the words the cut left
    return (stem.empty() ? "_" : stem) + extension;
}

std::string followNameRules(const std::string& relativePath, const NameRules& rules) {
    std::vector<std::string> names = namesOf(relativePath);
    for (size_t i = 0; i < names.size(); ++i) {
        std::string& name = names[i];
        if (rules.asciiNames) {
            name = trimmed(withoutRefused(asciiOf(name)));
        }
        if (rules.fatNames) {
            name = notReserved(name);
        }
        name = shortenedName(name, rules.nameMax, rules.units, i + 1 == names.size());
    }
    if (rules.pathMax > 0) {
        fitPath(names, rules);
    }
    std::string path;
    for (const std::string& name : names) {
        path += (path.empty() ? "" : "/") + name;
    }
    return path;
}

std::string numberedName(const std::string& fileName, unsigned number, size_t most, NameUnits units) {
    const size_t dot = extensionAt(fileName, true);
    const std::string tail = " (" + std::to_string(number) + ")" + fileName.substr(dot);
    const size_t room = most - std::min(most, lengthIn(tail, units));
    std::string stem = prefixWithin(fileName.substr(0, dot), room, units);
    stem.erase(stem.find_last_not_of(". -_,;") + 1); // what stood between the words the cut left
    return stem + tail;
}

} // namespace cvnhost
