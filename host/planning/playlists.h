// A playlist of the library as it is written into the copy: each entry (relative to the playlist's
// folder or absolute, with '/' or '\', or a file:// URL) becomes the path of its track's output
// relative to where the playlist stands in the copy. A marker line names the playlist's source, so
// that a later run knows the playlist for cvnhost's. Pure: it reads and writes no file.
#pragma once

#include <compare>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace cvnhost {

// What a playlist in the copy was made from: its path below its input folder ('/' between the
// names) and that folder's name, as an output's source marker names its source.
struct PlaylistIdentity {
    std::string root;
    std::string source;

    auto operator<=>(const PlaylistIdentity&) const = default;
};

// The output (absolute) of the track an entry names (absolute, as the entry leads to it); nothing
// when that track is not in the copy.
using OutputLookup = std::function<std::optional<std::filesystem::path>(const std::filesystem::path& input)>;

struct RewrittenPlaylist {
    std::string text;   // UTF-8, '/' between names, LF, the marker after #EXTM3U
    size_t entries = 0; // written
    size_t leftOut = 0; // their tracks are not in the copy
};

// The playlist `text` (a BOM, CRLF, Latin-1 taken), whose relative entries start at `sourceFolder`
// (absolute), as written in `copyFolder` (absolute). An entry left out takes its #EXTINF line and
// the lines between with it; other comment lines stay; a stream's URL stays as it is.
RewrittenPlaylist rewritePlaylist(const std::string& text, const PlaylistIdentity& identity,
                                  const std::filesystem::path& sourceFolder, const OutputLookup& outputOf,
                                  const std::filesystem::path& copyFolder);

// The source that the marker line of a playlist's text names, as a run compares it with its own
// playlists' (which are given to rewritePlaylist); nothing for a playlist without a marker.
std::optional<PlaylistIdentity> playlistMarkerIn(const std::string& text);

// The identity as its marker keeps it (texts made UTF-8): what playlistMarkerIn reads back.
PlaylistIdentity markedIdentityOf(const PlaylistIdentity& identity);

// Whether a file is a playlist by its name: .m3u or .m3u8, any case.
bool isPlaylistName(const std::filesystem::path& name);

} // namespace cvnhost
