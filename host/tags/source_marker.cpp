#include "tags/source_marker.h"

#include "tags/folder_cover.h"
#include "tags/id3v2_frames.h"

#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace cvnhost {

std::optional<SourceMarker> sourceMarkerOf(const std::string& input, const std::string& source,
                                           const std::optional<std::string>& root,
                                           const std::filesystem::path& coverFolder) {
    struct stat status {};
    if (source.empty() || stat(input.c_str(), &status) != 0) {
        return std::nullopt;
    }
    SourceMarker marker;
    marker.source = source;
    marker.root = root;
    marker.size = static_cast<uintmax_t>(status.st_size);
    marker.modified = static_cast<int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec;
    marker.cover = folderCoverIdentityIn(coverFolder);
    return marker;
}

std::string markerText(const SourceMarker& marker) {
    nlohmann::ordered_json object = {{"source", marker.source}};
    if (marker.root) {
        object["root"] = *marker.root;
    }
    object["size"] = marker.size;
    object["modified"] = marker.modified;
    object["audio"] = marker.audio;
    object["tags"] = marker.tags;
    object["settings"] = marker.settings;
    if (marker.tagging) {
        object["tagging"] = *marker.tagging;
    }
    if (marker.frames) {
        object["frames"] = *marker.frames;
    }
    if (marker.cover) {
        object["cover"] = *marker.cover;
    }
    if (marker.album) {
        object["album"] = *marker.album;
    }
    if (marker.given) {
        object["given"] = *marker.given;
    }
    if (marker.audioBytes) {
        object["audioBytes"] = *marker.audioBytes;
    }
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::optional<SourceMarker> parseMarker(const std::string& text) {
    const nlohmann::json object = nlohmann::json::parse(text, nullptr, false);
    if (!object.is_object()) {
        return std::nullopt;
    }
    SourceMarker marker;
    const auto take = [&](const char* name, auto& field) {
        const auto found = object.find(name);
        if (found == object.end() || found->is_null()) {
            return false;
        }
        try {
            found->get_to(field);
        } catch (const nlohmann::json::exception&) {
            return false;
        }
        return true;
    };
    const bool complete = take("source", marker.source) && take("size", marker.size) &&
                          take("modified", marker.modified) && take("audio", marker.audio) &&
                          take("tags", marker.tags) && take("settings", marker.settings);
    // Absent in the markers of earlier versions; a forged value is read as absent.
    if (std::string root; take("root", root)) {
        marker.root = std::move(root);
    }
    if (std::string tagging; take("tagging", tagging)) {
        marker.tagging = std::move(tagging);
    }
    if (std::vector<std::string> frames; take("frames", frames)) {
        marker.frames = std::move(frames);
    }
    if (std::string cover; take("cover", cover)) {
        marker.cover = std::move(cover);
    }
    if (std::string album; take("album", album)) {
        marker.album = std::move(album);
    }
    if (std::string given; take("given", given)) {
        marker.given = std::move(given);
    }
    if (uintmax_t audioBytes = 0; take("audioBytes", audioBytes)) {
        marker.audioBytes = audioBytes;
    }
    return complete ? std::optional<SourceMarker>(marker) : std::nullopt;
}

std::optional<SourceMarker> readMarker(const std::string& path) {
    // The frame alone: --delete reads the marker of every MP3 below the output folder, and a tag
    // may hold pictures of many megabytes.
    const std::optional<std::string> text = userTextFrameOf(path, kSourceMarkerName);
    return text ? parseMarker(*text) : std::nullopt;
}

std::optional<uintmax_t> audioBytesOf(const std::string& path) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return std::nullopt;
    }
    struct stat status {};
    unsigned char header[10] = {};
    char trailer[3] = {};
    const bool read =
        fstat(descriptor, &status) == 0 && pread(descriptor, header, sizeof header, 0) >= 0 &&
        (status.st_size < 128 || pread(descriptor, trailer, sizeof trailer, status.st_size - 128) >= 0);
    close(descriptor);
    if (!read) {
        return std::nullopt;
    }
    uintmax_t size = static_cast<uintmax_t>(status.st_size);
    const std::optional<uint32_t> body =
        size >= 10 && std::memcmp(header, "ID3", 3) == 0 ? syncsafe32(&header[6]) : std::nullopt;
    if (body) {
        const uintmax_t footer = (header[5] & 0x10) != 0 ? 10 : 0;
        size -= std::min(size, 10 + *body + footer);
    }
    if (std::memcmp(trailer, "TAG", 3) == 0) {
        size -= std::min<uintmax_t>(size, 128);
    }
    return size;
}

bool isOwnMarker(const SourceMarker& marker, const std::string& path) {
    return !marker.audioBytes || audioBytesOf(path) == marker.audioBytes;
}

void setSourceMarker(TrackTags& tags, const SourceMarker& marker) {
    tags.more[kSourceMarkerName] = {markerText(marker)};
}

} // namespace cvnhost
