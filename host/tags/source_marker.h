// What made an output, kept in the output's own ID3v2 tag as the TXXX frame "CVNHOST_SOURCE": the
// source's path below its input folder and that folder's name, its size and time, digests of its
// audio, of its tags and of the settings of the run, and which frames of the tag cvnhost wrote. `--update`
// compares it with the source to tell what changed;
// `--delete` takes an output that carries it for one cvnhost made, and leaves every other file.
// Being in the file itself, it needs no database: it moves with the library and works when shards
// on several machines write into one shared folder.
#pragma once

#include "tags/track_tags.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace cvnhost {

inline constexpr const char* kSourceMarkerName = "CVNHOST_SOURCE";

struct SourceMarker {
    std::string source; // the input's path below its input folder
    // That folder's own name, so that A/x.flac and B/x.flac are told apart; absent (nullopt) in the
    // markers of earlier versions, which match a source by its path below the folder alone.
    std::optional<std::string> root;
    uintmax_t size = 0;   // of the source file
    int64_t modified = 0; // its modification time, in nanoseconds since 1970
    std::string audio;    // "flac:MD5" from its STREAMINFO, or "pcm:FNV" of the frames encoded
    std::string tags;     // tagsDigest of the tags it was given, its folder's cover among them
    std::string settings; // the digest of the run's settings that change the audio frames
    // Of those that change only tags (ID3v2 version, ReplayGain mode); absent in the markers of
    // earlier versions, whose `settings` took both.
    std::optional<std::string> tagging;
    // The keys (id3v2_tag.h, frameKeyOf) of the frames cvnhost wrote, the marker's own aside: a
    // retag replaces these and keeps every other frame, which a user or a tagger added. Absent in
    // the markers of earlier versions.
    std::optional<std::vector<std::string>> frames;
    // The cover file of the source's folder when the output was made (folder_cover.h), empty for
    // none; absent in the markers of earlier versions.
    std::optional<std::string> cover;
    // With album gain, the album's digest (its identity and its tracks), whose change measures the
    // album again; absent without album gain and in the markers of earlier versions.
    std::optional<std::string> album;
    // tagsDigest of the tags the run and a manifest gave it (--artist, --genre, --cover, ...):
    // their change retags an output whose source did not change. Absent when none were given.
    std::optional<std::string> given;
    // The bytes of the file between its ID3v2 tag and its ID3v1 tag (audioBytesOf) as cvnhost wrote
    // them: a marker a tagger copied onto another MP3 is told from the file's own by them. Absent in
    // the markers of earlier versions.
    std::optional<uintmax_t> audioBytes;
};

// The bytes of the MP3 file at `path` after its leading ID3v2 tag and before a trailing ID3v1 tag,
// which a retag leaves as they are; nothing for a file that cannot be read.
std::optional<uintmax_t> audioBytesOf(const std::string& path);

// Whether the marker read from the file at `path` is that file's own: its audio is as long as when
// cvnhost wrote it (taken for so by a marker of an earlier version, which does not say).
bool isOwnMarker(const SourceMarker& marker, const std::string& path);

// The marker of `input` as it is now, its source, root, size, time and folder cover filled; nothing
// when it cannot be examined or has no source name.
std::optional<SourceMarker> sourceMarkerOf(const std::string& input, const std::string& source,
                                           const std::optional<std::string>& root,
                                           const std::filesystem::path& coverFolder);

// The marker as the frame holds it (one JSON object), and back; nothing for a text that is not one.
std::string markerText(const SourceMarker& marker);

// The marker among the tags, which the ID3v2 tag then carries (id3v2_tag.h).
void setSourceMarker(TrackTags& tags, const SourceMarker& marker);
std::optional<SourceMarker> parseMarker(const std::string& text);

// The marker of the MP3 file at `path`; nothing when it has none (a file cvnhost did not make).
std::optional<SourceMarker> readMarker(const std::string& path);

} // namespace cvnhost
