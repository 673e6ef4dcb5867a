#include "planning/manifest.h"

#include "tags/input_tags.h"
#include "files/standard_streams.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace cvnhost {

namespace {

using Json = nlohmann::json;

// The tags of an entry into `tags`; false with the cause for a name or value that is not one.
bool readTags(const Json& object, TrackTags& tags, std::string& error) {
    if (!object.is_object()) {
        error = "\"tags\" is not an object";
        return false;
    }
    for (const auto& [name, value] : object.items()) {
        if (!value.is_string()) {
            error = "the tag \"" + name + "\" is not a text";
            return false;
        }
        const std::string text = value.get<std::string>();
        if (name == "title") {
            tags.title = text;
        } else if (name == "artist") {
            tags.artist = text;
        } else if (name == "album") {
            tags.album = text;
        } else if (name == "genre") {
            tags.genre = text;
        } else if (name == "track") {
            const NumberAndTotal track = parseNumberAndTotal(text);
            if (!track.number) {
                error = "the track \"" + text + "\" is not N or N/TOTAL";
                return false;
            }
            tags.track = track.number;
            tags.trackTotal = track.total;
        } else if (name == "album-artist" || name == "disc" || name == "date" || name == "comment") {
            static const std::map<std::string, std::string> kPropertyNames = {{"album-artist", "ALBUMARTIST"},
                                                                              {"disc", "DISCNUMBER"},
                                                                              {"date", "DATE"},
                                                                              {"comment", "COMMENT"}};
            tags.more[kPropertyNames.at(name)] = {text};
        } else {
            error =
                "unknown tag \"" + name +
                "\"; the tags are title, artist, album, album-artist, genre, track, disc, date and comment";
            return false;
        }
    }
    return true;
}

std::optional<ManifestEntry> readEntry(const std::string& line, std::string& error) {
    const Json object = Json::parse(line, nullptr, false);
    if (object.is_discarded() || !object.is_object()) {
        error = "not a JSON object";
        return std::nullopt;
    }
    ManifestEntry entry;
    for (const auto& [name, value] : object.items()) {
        if (name == "tags") {
            if (!readTags(value, entry.tags, error)) {
                return std::nullopt;
            }
            continue;
        }
        if (name != "input" && name != "output") {
            error = "\"" + name + "\" is none of \"input\", \"output\" and \"tags\"";
            return std::nullopt;
        }
        if (!value.is_string() || value.get<std::string>().empty()) {
            error = "\"" + name + "\" is not a path";
            return std::nullopt;
        }
        (name == "input" ? entry.input : entry.output.emplace()) = value.get<std::string>();
    }
    if (entry.input.empty()) {
        error = "no \"input\"";
        return std::nullopt;
    }
    return entry;
}

} // namespace

std::optional<std::vector<ManifestEntry>> parseManifest(const std::string& text, const std::string& name,
                                                        std::string& error) {
    std::vector<ManifestEntry> entries;
    std::istringstream lines(text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text); // a BOM is no text
    size_t number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        std::string cause;
        std::optional<ManifestEntry> entry = readEntry(line, cause);
        if (!entry) {
            error = name + ":" + std::to_string(number) + ": " + cause;
            return std::nullopt;
        }
        entries.push_back(std::move(*entry));
    }
    return entries;
}

std::optional<std::vector<ManifestEntry>> readManifest(const std::string& path, std::string& error) {
    std::string text;
    if (isStandardStream(path)) {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            error = path + ": the manifest cannot be read: " + std::strerror(errno);
            return std::nullopt;
        }
        text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    return parseManifest(text, isStandardStream(path) ? "standard input" : path, error);
}

} // namespace cvnhost
