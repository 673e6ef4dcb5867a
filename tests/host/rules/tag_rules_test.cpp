// The rules of tags and words, without the program: numbers with totals, the ID3v1 track byte,
// Latin-1 folding, album identity, the gapless information of iTunSMPB, the word a user meant and
// the name of a file cut short.
#include "audio/gapless_trim.h"
#include "cli/nearest_word.h"
#include "files/output_target.h"
#include "planning/album_identity.h"
#include "tags/track_tags.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using cvnhost::TrackTags;

TEST(NumberAndTotal, NumbersFromOneTo999WithAnOptionalTotal) {
    struct Case {
        std::string text;
        std::optional<int> number, total;
    };
    const std::vector<Case> cases = {
        {"3/12", 3, 12},    {"007/012", 7, 12},    {" 7 / 12 ", 7, 12}, {"3/", 3, {}},
        {"/12", {}, {}},    {"0", {}, {}},         {"-3", {}, {}},      {"+3", {}, {}},
        {"", {}, {}},       {"255", 255, {}},      {"256", 256, {}},    {"999/999", 999, 999},
        {"1000", {}, {}},   {"999/1000", 999, {}}, {"3/0", 3, {}},      {"99999999999", {}, {}},
        {"3 of 12", 3, {}}, {"\t3", {}, {}},
    };
    for (const Case& c : cases) {
        const cvnhost::NumberAndTotal parsed = cvnhost::parseNumberAndTotal(c.text);
        EXPECT_EQ(parsed.number, c.number) << '"' << c.text << '"';
        EXPECT_EQ(parsed.total, c.total) << '"' << c.text << '"';
    }
}

// ID3v1 holds tracks 1 to 255 in its byte, one less; a number it cannot hold is no number (255).
TEST(NumberAndTotal, TheId3v1TrackByteHoldsOneTo255) {
    const std::vector<std::pair<std::optional<int>, int>> cases = {
        {std::nullopt, 255}, {0, 255}, {-1, 255}, {1, 0}, {255, 254}, {256, 255}, {300, 255}};
    for (const auto& [track, byte] : cases) {
        TrackTags tags;
        tags.track = track;
        EXPECT_EQ(cvnhost::trackInfoFor(tags).track, byte) << track.value_or(-99);
    }
}

TEST(Latin1, TextsFoldToWhatId3v1Holds) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Caf\u00e9 \u00df\u00d8", "Caf\xe9 \xdf\xd8"},             // Latin-1 kept
        {"\u20ac5 \u0153 \u2013 \u201cq\u201d", "EUR5 oe - \"q\""}, // a spelling in Latin-1
        {"\u0141\u00f3d\u017a", "L\xF3\x64z"},
        {"\u65e5\u672c x", "?? x"}, // one '?' a character, however many bytes
        {"\U0001F600", "?"},
        {"\xe9t\xe9", "\xe9t\xe9"}, // not UTF-8: Latin-1 already
        {"", ""},
    };
    for (const auto& [utf8, latin1] : cases) {
        EXPECT_EQ(cvnhost::toLatin1(utf8), latin1) << utf8;
    }
}

// A letter with a combining accent has its Latin-1 letter, as the same letter composed does.
TEST(Latin1, CombiningAccentsComposeToLatin1Letters) {
    EXPECT_EQ(cvnhost::toLatin1("e\u0301A\u0308"), "\xe9\xc4");
}

TEST(AlbumIdentity, MusicBrainzIdElseAlbumArtistOrArtistWithTheAlbum) {
    struct Case {
        std::optional<std::string> album, artist, albumArtist, musicBrainzId;
        std::string identity;
    };
    const std::vector<Case> cases = {
        {"Album", "A", "Various", "mb-1", "musicbrainz:mb-1"},
        {std::nullopt, std::nullopt, std::nullopt, "mb-1", "musicbrainz:mb-1"},
        {"Album", "A", "Various", "",
         "Various\x1F"
         "Album"},
        {"Album", "A", std::nullopt, std::nullopt,
         "A\x1F"
         "Album"},
        {"Album", "A", "", std::nullopt,
         "A\x1F"
         "Album"},
        {"Album", std::nullopt, std::nullopt, std::nullopt,
         "\x1F"
         "Album"},
        {std::nullopt, "A", "Various", std::nullopt, ""},
        {"", "A", "Various", std::nullopt, ""},
    };
    for (const Case& c : cases) {
        TrackTags tags;
        tags.album = c.album;
        tags.artist = c.artist;
        if (c.albumArtist) {
            tags.more["ALBUMARTIST"] = {*c.albumArtist};
        }
        if (c.musicBrainzId) {
            tags.more["MUSICBRAINZ_ALBUMID"] = {*c.musicBrainzId};
        }
        EXPECT_EQ(cvnhost::albumIdentityOf(tags), c.identity) << c.album.value_or("(no album)");
    }
}

TEST(ITunSmpb, PrimingPaddingAndLengthInHexadecimal) {
    struct Case {
        std::string text;
        std::optional<int64_t> priming, padding, length; // none: no gapless information
    };
    const std::vector<Case> cases = {
        {" 00000000 00000840 000001CA 00000000003F31F6 00000000 00000000", 0x840, 0x1CA, 0x3F31F6},
        {"0\t840\n1ca 3f31f6", 0x840, 0x1CA, 0x3F31F6},
        {" 00000000 00000000 00000000 10000000000", 0, 0, int64_t{1} << 40},
        {" 00000000 00000840 000001CA", {}, {}, {}},
        {"", {}, {}, {}},
        {" 00000000 0000084G 000001CA 003F31F6", {}, {}, {}},
        {" 00000000 0x840 000001CA 003F31F6", {}, {}, {}},
        {" 00000000 -840 000001CA 003F31F6", {}, {}, {}},
        {" 00000000 00000840 000001CA 00000000", {}, {}, {}},
        {" 00000000 00000840 000001CA 10000000001", {}, {}, {}},
        {" 00000000 00000840 000001CA 000000000003F31F6", {}, {}, {}}, // 17 digits
    };
    for (const Case& c : cases) {
        const std::optional<cvnhost::GaplessTrim> trim = cvnhost::parseITunSmpb(c.text);
        ASSERT_EQ(trim.has_value(), c.length.has_value()) << c.text;
        if (trim) {
            EXPECT_EQ(trim->priming, *c.priming) << c.text;
            EXPECT_EQ(trim->padding, *c.padding) << c.text;
            EXPECT_EQ(trim->length, *c.length) << c.text;
        }
    }
}

// One edit up to four characters, two up to eight, three beyond (the dashes of an option not
// counted); swaps are one edit; ties go to the first.
TEST(NearestWord, TheCandidateNearEnoughToBeASlip) {
    const std::vector<std::string> words = {"list",       "encode", "decode", "--bitrate",
                                            "replaygain", "bit",    "but"};
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"encode", "encode"},
        {"encdoe", "encode"},
        {"ecnod", "encode"},
        {"enxxxe", std::nullopt},
        {"lsit", "list"},
        {"lxxt", std::nullopt},
        {"--bitrat", "--bitrate"},
        {"-bitrate", "--bitrate"},
        {"replaxxxin", "replaygain"},
        {"rxplaxxxin", std::nullopt},
        {"bat", "bit"},
        {"zzzzzzzz", std::nullopt},
    };
    for (const auto& [word, nearest] : cases) {
        EXPECT_EQ(cvnhost::nearestWord(word, words), nearest) << word;
    }
    EXPECT_EQ(cvnhost::nearestWord("encode", {}), std::nullopt);
}

TEST(PartialPath, PartialGoesBeforeTheLastExtension) {
    struct Case {
        std::string target;
        unsigned number;
        std::string partial;
    };
    const std::vector<Case> cases = {
        {"out/a.mp3", 0, "out/a.partial.mp3"},   {"out/a.mp3", 2, "out/a.partial-2.mp3"},
        {"out/song", 0, "out/song.partial"},     {"out/a.b.c.mp3", 0, "out/a.b.c.partial.mp3"},
        {"v1.2/song", 1, "v1.2/song.partial-1"}, {".hidden", 0, ".hidden.partial"},
        {"a.mp3", 0, "a.partial.mp3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cvnhost::partialPathOf(c.target, c.number), c.partial) << c.target;
    }
}

} // namespace
