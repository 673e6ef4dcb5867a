#include "planning/output_name.h"

#include "tags/input_tags.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string_view>

namespace cvnhost {

namespace {

struct Placeholder {
    std::string name;
    std::optional<int> width;
    std::optional<std::string> fallback;
    std::optional<std::string> suffix; // %disc+TEXT%
};

constexpr std::array<std::string_view, 13> kNames = {
    "title", "artist",     "albumartist", "album",     "genre",    "year",    "date",
    "track", "tracktotal", "disc",        "disctotal", "composer", "filename"};

bool isNumber(const std::string& name) {
    return name == "track" || name == "tracktotal" || name == "disc" || name == "disctotal";
}

// The placeholder's text between the percent signs; nothing with the cause when it is not one.
std::optional<Placeholder> parsePlaceholder(const std::string& text, std::string& error) {
    Placeholder placeholder;
    const size_t bar = text.find('|');
    std::string head = text.substr(0, bar);
    if (bar != std::string::npos) {
        placeholder.fallback = text.substr(bar + 1);
    }
    if (const size_t plus = head.find('+'); plus != std::string::npos) {
        placeholder.suffix = head.substr(plus + 1);
        head.resize(plus);
        if (head.substr(0, head.find(':')) != "disc" || placeholder.fallback) {
            error = "%" + text + "%: a text after + follows disc only, and takes no fallback";
            return std::nullopt;
        }
    }
    if (const size_t colon = head.find(':'); colon != std::string::npos) {
        const std::string digits = head.substr(colon + 1);
        head.resize(colon);
        if (digits.empty() || digits.size() > 1 || !std::isdigit(static_cast<unsigned char>(digits[0])) ||
            !isNumber(head)) {
            error = "%" + text + "%: a width is one digit, after track, tracktotal, disc or disctotal";
            return std::nullopt;
        }
        placeholder.width = digits[0] - '0';
    }
    if (std::find(kNames.begin(), kNames.end(), head) == kNames.end()) {
        error = "%" + text + "%: unknown; the names are";
        for (const std::string_view name : kNames) {
            error += std::string(name == kNames.back()    ? " and "
                                 : name == kNames.front() ? " "
                                                          : ", ") +
                     std::string(name);
        }
        return std::nullopt;
    }
    placeholder.name = head;
    return placeholder;
}

std::optional<std::string> moreTag(const TrackTags& tags, const char* name) {
    const auto found = tags.more.find(name);
    if (found == tags.more.end() || found->second.empty() || found->second.front().empty()) {
        return std::nullopt;
    }
    return found->second.front();
}

std::optional<int> numberOf(const Placeholder& placeholder, const TrackTags& tags) {
    if (placeholder.name == "track") {
        return tags.track;
    }
    if (placeholder.name == "tracktotal") {
        return tags.trackTotal;
    }
    const std::optional<std::string> disc = moreTag(tags, "DISCNUMBER");
    const NumberAndTotal parsed = disc ? parseNumberAndTotal(*disc) : NumberAndTotal{};
    return placeholder.name == "disc" ? parsed.number : parsed.total;
}

// Whether the album has more than one disc by the track's tags: a disc number, and a total that is
// missing or above 1 (without a total, disc 1 cannot be told from the first of several).
bool ofSeveralDiscs(const TrackTags& tags) {
    const std::optional<std::string> disc = moreTag(tags, "DISCNUMBER");
    const NumberAndTotal parsed = disc ? parseNumberAndTotal(*disc) : NumberAndTotal{};
    return parsed.number && parsed.total.value_or(2) > 1;
}

std::string padded(int number, int width) {
    std::string digits = std::to_string(number);
    return std::string(static_cast<size_t>(std::max(0, width - static_cast<int>(digits.size()))), '0') +
           digits;
}

std::optional<std::string> textOf(const std::string& name, const TrackTags& tags,
                                  const std::string& inputStem) {
    if (name == "title") {
        return tags.title && !tags.title->empty() ? tags.title : inputStem;
    }
    if (name == "artist") {
        return tags.artist;
    }
    if (name == "albumartist") {
        const std::optional<std::string> albumArtist = moreTag(tags, "ALBUMARTIST");
        return albumArtist ? albumArtist : tags.artist;
    }
    if (name == "album") {
        return tags.album;
    }
    if (name == "genre") {
        return tags.genre;
    }
    if (name == "composer") {
        return moreTag(tags, "COMPOSER");
    }
    if (name == "filename") {
        return inputStem;
    }
    const std::optional<std::string> date = moreTag(tags, "DATE");
    if (name == "year" && date) {
        return date->substr(0, 4);
    }
    return date;
}

std::string defaultText(const std::string& name) {
    if (name == "year" || name == "date") {
        return "0000";
    }
    if (name == "albumartist") {
        return "Unknown Artist";
    }
    std::string text = "Unknown " + name;
    text[8] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[8])));
    return text;
}

// A tag's text as part of one file or folder name.
std::string safeForFileName(const std::string& text) {
    std::string safe;
    for (const char c : text) {
        const bool refused =
            static_cast<unsigned char>(c) < 0x20 || c == 0x7F || std::strchr("/\\:*?\"<>|", c);
        safe += refused ? '_' : c;
    }
    return safe;
}

// Each folder and file name of the path without leading or trailing dots and spaces, and none empty.
std::string tidyComponents(const std::string& path) {
    std::string tidy;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string component = path.substr(start, end - start);
        const size_t first = component.find_first_not_of(". ");
        const size_t last = component.find_last_not_of(". ");
        component = first == std::string::npos ? "_" : component.substr(first, last - first + 1);
        tidy += (tidy.empty() ? "" : "/") + component;
        start = end + 1;
    }
    return tidy;
}

// Calls `literal` for each stretch of text and `placeholder` for each placeholder's inside; false
// with the cause for an unclosed one.
template <typename Literal, typename Inside>
bool walkTemplate(const std::string& nameTemplate, Literal literal, Inside inside, std::string& error) {
    for (size_t at = 0; at < nameTemplate.size();) {
        const size_t open = nameTemplate.find('%', at);
        literal(nameTemplate.substr(at, open == std::string::npos ? std::string::npos : open - at));
        if (open == std::string::npos) {
            break;
        }
        const size_t close = nameTemplate.find('%', open + 1);
        if (close == std::string::npos) {
            error = "the % at " + std::to_string(open + 1) + " opens a placeholder that is not closed";
            return false;
        }
        if (close == open + 1) {
            literal("%");
        } else if (!inside(nameTemplate.substr(open + 1, close - open - 1))) {
            return false;
        }
        at = close + 1;
    }
    return true;
}

} // namespace

bool checkNameTemplate(const std::string& nameTemplate, std::string& error) {
    if (nameTemplate.empty() || nameTemplate.front() == '/') {
        error = "the name must be a relative path with at least one placeholder or letter";
        return false;
    }
    return walkTemplate(
        nameTemplate, [](const std::string&) {},
        [&](const std::string& inside) { return parsePlaceholder(inside, error).has_value(); }, error);
}

std::string renderName(const std::string& nameTemplate, const TrackTags& tags, const std::string& inputStem) {
    std::string path;
    std::string unused;
    walkTemplate(
        nameTemplate, [&](const std::string& text) { path += text; },
        [&](const std::string& inside) {
            const std::optional<Placeholder> placeholder = parsePlaceholder(inside, unused);
            if (isNumber(placeholder->name)) {
                const std::optional<int> number = numberOf(*placeholder, tags);
                const int width = placeholder->width.value_or(placeholder->name == "track" ? 2 : 1);
                if (placeholder->suffix) {
                    path += ofSeveralDiscs(tags) ? padded(*number, width) + *placeholder->suffix : "";
                    return true;
                }
                path += number ? padded(*number, width)
                               : safeForFileName(placeholder->fallback.value_or(padded(0, width)));
                return true;
            }
            const std::optional<std::string> text = textOf(placeholder->name, tags, inputStem);
            path += safeForFileName(text && !text->empty()
                                        ? *text
                                        : placeholder->fallback.value_or(defaultText(placeholder->name)));
            return true;
        },
        unused);
    return tidyComponents(path);
}

} // namespace cvnhost
