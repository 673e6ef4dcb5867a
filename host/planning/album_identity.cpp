#include "planning/album_identity.h"

namespace cvnhost {

namespace {

std::string firstOf(const TrackTags& tags, const char* name) {
    const auto found = tags.more.find(name);
    return found == tags.more.end() || found->second.empty() ? std::string() : found->second.front();
}

} // namespace

std::string albumIdentityOf(const TrackTags& tags) {
    if (const std::string id = firstOf(tags, "MUSICBRAINZ_ALBUMID"); !id.empty()) {
        return "musicbrainz:" + id;
    }
    if (!tags.album || tags.album->empty()) {
        return {};
    }
    std::string artist = firstOf(tags, "ALBUMARTIST");
    if (artist.empty()) {
        artist = tags.artist.value_or("");
    }
    // A unit separator between the parts: no tag text holds one.
    return artist + '\x1F' + *tags.album;
}

} // namespace cvnhost
