#include "planning/playlists.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <vector>

namespace cvnhost {

namespace {

namespace fs = std::filesystem;

constexpr const char* kMarkerPrefix = "#CVNHOST-SOURCE: ";

bool startsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
}

// The length of the UTF-8 sequence that starts at `at`, or 0 where none does.
size_t utf8SequenceAt(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const size_t length = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xE  ? 3
                          : (lead >> 3) == 0x1E ? 4
                                                : 0;
    if (length == 0 || at + length > text.size() || (length == 2 && lead < 0xC2)) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

// The text as UTF-8: as it is when it is UTF-8, else read as Latin-1 (an .m3u of an older player).
std::string asUtf8(const std::string& text) {
    for (size_t at = 0, length = 0; at < text.size(); at += length) {
        if ((length = utf8SequenceAt(text, at)) == 0) {
            std::string converted;
            for (const unsigned char c : text) {
                converted += c < 0x80 ? std::string(1, static_cast<char>(c))
                                      : std::string{static_cast<char>(0xC0 | (c >> 6)),
                                                    static_cast<char>(0x80 | (c & 0x3F))};
            }
            return converted;
        }
    }
    return text;
}

// "%20" and the like decoded; a '%' not followed by two hex digits stays.
std::string percentDecoded(const std::string& text) {
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// What an entry names: a file's path (relative or absolute), or a stream's URL (`stream`), which is
// no track and stays; nothing for a file:// URL of another host.
std::optional<std::string> pathOfEntry(const std::string& entry, bool& stream) {
    stream = false;
    if (startsWithNoCase(entry, "file:")) {
        std::string rest = entry.substr(5);
        if (rest.starts_with("//")) {
            const size_t slash = rest.find('/', 2);
            const std::string host = rest.substr(2, slash == std::string::npos ? slash : slash - 2);
            if ((!host.empty() && !startsWithNoCase(host, "localhost")) || slash == std::string::npos) {
                return std::nullopt;
            }
            rest = rest.substr(slash);
        }
        return percentDecoded(rest);
    }
    const size_t scheme = entry.find("://");
    if (scheme != std::string::npos && scheme > 1 &&
        std::all_of(entry.begin(), entry.begin() + static_cast<std::ptrdiff_t>(scheme),
                    [](unsigned char c) { return std::isalpha(c) || c == '+' || c == '-' || c == '.'; })) {
        stream = true;
        return entry;
    }
    std::string path = entry;
    std::replace(path.begin(), path.end(), '\\', '/'); // written on Windows
    return path;
}

// The lines of the text, a BOM, CR before LF, blank lines and space around each left out.
std::vector<std::string> linesOf(const std::string& text) {
    std::string utf8 = asUtf8(text);
    if (utf8.starts_with("\xEF\xBB\xBF")) {
        utf8.erase(0, 3);
    }
    std::vector<std::string> lines;
    for (size_t start = 0; start < utf8.size();) {
        size_t end = utf8.find('\n', start);
        end = end == std::string::npos ? utf8.size() : end;
        std::string line = utf8.substr(start, end - start);
        const size_t first = line.find_first_not_of(" \t\r");
        if (first != std::string::npos) {
            lines.push_back(line.substr(first, line.find_last_not_of(" \t\r") - first + 1));
        }
        start = end + 1;
    }
    return lines;
}

// The line that names the playlist's source.
std::string markerLineOf(const PlaylistIdentity& identity) {
    const nlohmann::json object = {{"root", asUtf8(identity.root)}, {"source", asUtf8(identity.source)}};
    return kMarkerPrefix + object.dump();
}

// One playlist being rewritten: the lines so far, and those that wait for their entry (an #EXTINF
// and what follows it), written with it or left out with it.
struct Rewrite {
    const fs::path& sourceFolder;
    const OutputLookup& outputOf;
    const fs::path& copyFolder;
    RewrittenPlaylist result;
    std::vector<std::string> lines;
    std::vector<std::string> waiting;
};

// The entry as it is written in the copy, or nothing when its track is not there.
std::optional<std::string> rewrittenEntry(const Rewrite& rewrite, const std::string& entry) {
    bool stream = false;
    const std::optional<std::string> path = pathOfEntry(entry, stream);
    if (!path || stream) {
        return path;
    }
    const fs::path named(*path);
    const std::optional<fs::path> output =
        rewrite.outputOf(named.is_absolute() ? named : rewrite.sourceFolder / named);
    if (!output) {
        return std::nullopt;
    }
    return output->lexically_normal()
        .lexically_relative(rewrite.copyFolder.lexically_normal())
        .generic_string();
}

void takeLine(Rewrite& rewrite, const std::string& line) {
    if (line.starts_with(kMarkerPrefix)) {
        return; // the source is itself a copy's: its own marker is made again
    }
    if (line.starts_with("#EXTINF")) {
        rewrite.waiting = {line};
    } else if (line.starts_with("#")) {
        (rewrite.waiting.empty() ? rewrite.lines : rewrite.waiting).push_back(line);
    } else if (const std::optional<std::string> entry = rewrittenEntry(rewrite, line)) {
        rewrite.lines.insert(rewrite.lines.end(), rewrite.waiting.begin(), rewrite.waiting.end());
        rewrite.lines.push_back(*entry);
        rewrite.waiting.clear();
        ++rewrite.result.entries;
    } else {
        rewrite.waiting.clear();
        ++rewrite.result.leftOut;
    }
}

} // namespace

RewrittenPlaylist rewritePlaylist(const std::string& text, const PlaylistIdentity& identity,
                                  const fs::path& sourceFolder, const OutputLookup& outputOf,
                                  const fs::path& copyFolder) {
    Rewrite rewrite{sourceFolder, outputOf, copyFolder, {}, {}, {}};
    for (const std::string& line : linesOf(text)) {
        takeLine(rewrite, line);
    }
    std::vector<std::string>& lines = rewrite.lines;
    const bool header = !lines.empty() && lines.front() == "#EXTM3U";
    lines.insert(lines.begin() + (header ? 1 : 0), markerLineOf(identity));
    for (const std::string& line : lines) {
        rewrite.result.text += line + "\n";
    }
    return std::move(rewrite.result);
}

std::optional<PlaylistIdentity> playlistMarkerIn(const std::string& text) {
    for (const std::string& line : linesOf(text)) {
        if (!line.starts_with(kMarkerPrefix)) {
            continue;
        }
        const nlohmann::json object =
            nlohmann::json::parse(line.substr(std::string(kMarkerPrefix).size()), nullptr, false);
        if (object.is_object() && object.contains("root") && object["root"].is_string() &&
            object.contains("source") && object["source"].is_string()) {
            return PlaylistIdentity{object["root"].get<std::string>(), object["source"].get<std::string>()};
        }
    }
    return std::nullopt;
}

PlaylistIdentity markedIdentityOf(const PlaylistIdentity& identity) {
    return PlaylistIdentity{asUtf8(identity.root), asUtf8(identity.source)};
}

bool isPlaylistName(const fs::path& name) {
    std::string extension = name.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".m3u" || extension == ".m3u8";
}

} // namespace cvnhost
