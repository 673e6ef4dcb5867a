// A track's tags: what the user gave, else what the input file holds. The plug-in's ID3v1 tag
// takes the five it has room for folded to Latin-1 through the CVN_TrackInfo; the ID3v2 tag that the
// host adds afterwards keeps every text in full and the front cover.
#pragma once

#include "VelmoraPlugIn.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cvnhost {

// The largest picture taken, from --cover or from an input's own tags: a larger one is refused
// (--cover) or left out of the MP3 with a note (an input's own).
inline constexpr size_t kLargestPicture = 16 * 1024 * 1024;

// The picture types of ID3v2 (APIC) and FLAC, which share their numbers: 0 other, 3 front cover,
// 4 back cover, ...
inline constexpr int kFrontCover = 3;

struct Picture {
    std::string mimeType; // "image/png", "image/jpeg"
    std::vector<uint8_t> data;
    std::string description;
    int type = kFrontCover;
};

// The texts with fields of their own in TrackTags, by their property names. A field holds the
// first value; when the input has several, `more` holds them all under the same name.
inline constexpr const char* kTitleName = "TITLE";
inline constexpr const char* kArtistName = "ARTIST";
inline constexpr const char* kAlbumName = "ALBUM";
inline constexpr const char* kGenreName = "GENRE";
inline constexpr const char* kCommentName = "COMMENT";

struct TrackTags {
    std::optional<std::string> title; // UTF-8
    std::optional<std::string> artist;
    std::optional<std::string> album;
    std::optional<std::string> genre;
    std::optional<int> track;      // 1-based
    std::optional<int> trackTotal; // the tracks of the album or disc
    // Every other text, by TagLib's property names: DATE, ALBUMARTIST, DISCNUMBER ("1/2"),
    // COMMENT, COMPOSER, COPYRIGHT, ISRC, LYRICS, MUSICBRAINZ_ALBUMID, REPLAYGAIN_TRACK_GAIN, ...
    std::map<std::string, std::vector<std::string>> more;
    std::vector<Picture> pictures; // every one, in the input's order
};

// Each field of `given` where it is set, else the field of `fromInput`; of `more`, each name (a
// title, artist, album or genre given drops the input's several values of it); a picture given
// takes the place of the input's of its type.
TrackTags mergeTags(const TrackTags& given, const TrackTags& fromInput);

// A track's tags in layers: the run's (`given`) over the track's own (a manifest's) over its input
// file's.
TrackTags layeredTags(const TrackTags& given, const TrackTags& own, const TrackTags& input);

// UTF-8 folded to Latin-1 as ID3v1 holds it: characters outside it transliterated where the
// C library knows a spelling in Latin-1 ("€" to "EUR"), else replaced by "?". Bytes that are not
// UTF-8 are taken as Latin-1 already.
std::string toLatin1(const std::string& utf8);

// The CVN_TrackInfo for the plug-in: texts in Latin-1, the track byte one less than the track number
// (255, which the tag shows as no number, when there is none or it is above 255: the ID3v1 tag
// shows no number rather than a wrong one, and the ID3v2 tag keeps it whole).
CVN_TrackInfo trackInfoFor(const TrackTags& tags);

// The largest track or disc number taken, wherever it comes from (a tag, an option, a manifest).
inline constexpr int kLargestNumber = 999;

// The one parser of a track or disc number with its total, each from 1 to kLargestNumber: "3/12"
// gives 3 and 12; "03" gives 3 and nothing; leading zeros are padding. A tighter limit (ID3v1's
// 255, trackInfoFor's) is the caller's.
struct NumberAndTotal {
    std::optional<int> number;
    std::optional<int> total;
};
NumberAndTotal parseNumberAndTotal(const std::string& text);
// "3/12", or "3" without a total; `parsed` holds a number.
std::string numberAndTotalText(const NumberAndTotal& parsed);

} // namespace cvnhost
