#include "tags/track_tags.h"

#include <iconv.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace cvnhost {

namespace {

void copyField(char (&field)[CVN_TEXT_FIELD_SIZE], const std::optional<std::string>& utf8) {
    const std::string text = utf8 ? toLatin1(*utf8) : std::string();
    const size_t length = std::min<size_t>(text.size(), CVN_TEXT_FIELD_SIZE - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

bool isValidUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80         ? 1
                              : (lead >> 5) == 6  ? 2
                              : (lead >> 4) == 14 ? 3
                              : (lead >> 3) == 30 ? 4
                                                  : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

// A number from 1 to kLargestNumber at the start of `text`; nothing otherwise.
std::optional<int> leadingNumber(const std::string& text) {
    size_t at = text.find_first_not_of(' ');
    int number = 0;
    size_t digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
        number = number * 10 + (text[at] - '0');
        if (number > kLargestNumber) {
            return std::nullopt;
        }
    }
    return digits > 0 && number > 0 ? std::optional<int>(number) : std::nullopt;
}

} // namespace

TrackTags layeredTags(const TrackTags& given, const TrackTags& own, const TrackTags& input) {
    return mergeTags(given, mergeTags(own, input));
}

TrackTags mergeTags(const TrackTags& given, const TrackTags& fromInput) {
    TrackTags merged;
    merged.title = given.title ? given.title : fromInput.title;
    merged.artist = given.artist ? given.artist : fromInput.artist;
    merged.album = given.album ? given.album : fromInput.album;
    merged.genre = given.genre ? given.genre : fromInput.genre;
    merged.track = given.track ? given.track : fromInput.track;
    // A total belongs to the number it came with.
    merged.trackTotal = given.track ? given.trackTotal : fromInput.trackTotal;
    merged.more = fromInput.more;
    for (const auto& [name, values] : given.more) {
        merged.more[name] = values;
    }
    const std::pair<const char*, bool> givenTexts[] = {{kTitleName, given.title.has_value()},
                                                       {kArtistName, given.artist.has_value()},
                                                       {kAlbumName, given.album.has_value()},
                                                       {kGenreName, given.genre.has_value()}};
    for (const auto& [name, isGiven] : givenTexts) {
        if (isGiven && given.more.count(name) == 0) {
            merged.more.erase(name);
        }
    }
    merged.pictures = given.pictures;
    for (const Picture& picture : fromInput.pictures) {
        const bool replaced = std::any_of(given.pictures.begin(), given.pictures.end(),
                                          [&](const Picture& other) { return other.type == picture.type; });
        if (!replaced) {
            merged.pictures.push_back(picture);
        }
    }
    return merged;
}

namespace {

std::string composed(const std::string& utf8) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) {
        return utf8;
    }
    std::string text;
    nfc->normalize(icu::UnicodeString::fromUTF8(utf8), status).toUTF8String(text);
    return U_SUCCESS(status) ? text : utf8;
}

} // namespace

std::string toLatin1(const std::string& utf8) {
    if (!isValidUtf8(utf8)) {
        return utf8;
    }
    // glibc transliterates by the locale's tables; C.UTF-8 has the common ones and is always there.
    static const locale_t utf8Locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    const locale_t previous = utf8Locale != nullptr ? uselocale(utf8Locale) : nullptr;
    std::string latin1;
    iconv_t converter = iconv_open("ISO-8859-1//TRANSLIT", "UTF-8");
    if (converter != reinterpret_cast<iconv_t>(-1)) {
        // Composed first: a letter and its combining accent (as macOS writes names) are one
        // Latin-1 letter, which iconv would take for the letter alone.
        std::string input = composed(utf8);
        char* in = input.data();
        size_t inLeft = input.size();
        while (inLeft > 0) {
            char block[256];
            char* out = block;
            size_t outLeft = sizeof block;
            const size_t converted = iconv(converter, &in, &inLeft, &out, &outLeft);
            latin1.append(block, static_cast<size_t>(out - block));
            if (converted == static_cast<size_t>(-1) && errno != E2BIG) {
                // A character with no Latin-1 spelling: one '?' for the whole UTF-8 sequence.
                latin1 += '?';
                do {
                    ++in;
                    --inLeft;
                } while (inLeft > 0 && (static_cast<unsigned char>(*in) >> 6) == 2);
            }
        }
        iconv_close(converter);
    }
    if (previous != nullptr) {
        uselocale(previous);
    }
    return latin1;
}

CVN_TrackInfo trackInfoFor(const TrackTags& tags) {
    CVN_TrackInfo info;
    std::memset(&info, 0, sizeof info);
    info.size = sizeof info;
    copyField(info.title, tags.title);
    copyField(info.album, tags.album);
    copyField(info.artist, tags.artist);
    copyField(info.genre, tags.genre);
    const bool fits = tags.track && *tags.track >= 1 && *tags.track <= 255;
    info.track = static_cast<uint8_t>(fits ? *tags.track - 1 : 255);
    return info;
}

NumberAndTotal parseNumberAndTotal(const std::string& text) {
    NumberAndTotal parsed;
    parsed.number = leadingNumber(text);
    const size_t slash = text.find('/');
    if (parsed.number && slash != std::string::npos) {
        parsed.total = leadingNumber(text.substr(slash + 1));
    }
    return parsed;
}

std::string numberAndTotalText(const NumberAndTotal& parsed) {
    return std::to_string(*parsed.number) + (parsed.total ? "/" + std::to_string(*parsed.total) : "");
}

} // namespace cvnhost
