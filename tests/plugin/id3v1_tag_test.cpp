// The ID3v1 tag, the genre lookup and the copy of the host's texts: pure rules, tested directly,
// and the tag as it ends a real stream's file.
#include "stream/genre_table.h"
#include "stream/id3v1_tag.h"
#include "stream/track_texts.h"
#include "support/stream_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace cvn::test {

using namespace velmora;
namespace {

std::string field(const Id3v1Tag& tag, size_t offset, size_t size) {
    return std::string(reinterpret_cast<const char*>(tag.data()) + offset, size);
}

TEST(GenreLookup, FoldsAsciiCaseAndComparesWholeTexts) {
    EXPECT_EQ(genreNumber("rock"), 17);
    EXPECT_EQ(genreNumber("ROCK & ROLL"), 78);
    EXPECT_EQ(genreNumber("blues"), 0);
    EXPECT_EQ(genreNumber("Dance Hall"), 125);
    EXPECT_EQ(genreNumber("Psychadelic"), 67);
    EXPECT_EQ(genreNumber("psychedelic rock"), 93);
    EXPECT_EQ(genreNumber("Acapella"), 123);
    for (const char* noGenre :
         {"Rock ", " Rock", "Hip Hop", "Psychedelic", "A Capella", "Aca pella", "", "Roc", "Rockk",
          "R\xC9"
          "B"}) {
        EXPECT_EQ(genreNumber(noGenre), 255) << '"' << noGenre << '"';
    }
    EXPECT_EQ(genreNumber(nullptr), 255);
}

TEST(GenreLookup, BytesAbove127AreNeverFolded) {
    // 0xC4 and 0xE4 are the capital and small A umlaut in code page 1252: not the same byte.
    EXPECT_EQ(genreNumber("\xC4"
                          "coustic"),
              255);
    EXPECT_EQ(genreNumber("Acoustic"), 99);
}

TEST(GenreLookup, EveryNameFindsItsOwnNumberAndNoTwoAreEqual) {
    std::set<std::string> folded;
    for (int number = 0; number < kGenreCount; ++number) {
        EXPECT_EQ(genreNumber(kGenreNames[number]), number) << kGenreNames[number];
        std::string lower = kGenreNames[number];
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        EXPECT_TRUE(folded.insert(lower).second) << kGenreNames[number];
    }
    EXPECT_STREQ(kGenreNames[79], "Hard Rock");
    EXPECT_STREQ(kGenreNames[80], "Folk");
}

TEST(Id3v1Tag, LayoutOfAFullRecord) {
    const CVN_TrackInfo texts = trackInfo("My Title", "My Album", "My Artist", "jazz+funk", 6);
    const Id3v1Tag tag = buildId3v1Tag(texts);
    EXPECT_EQ(field(tag, 0, 3), "TAG");
    EXPECT_EQ(field(tag, 3, 30), std::string("My Title") + std::string(22, '\0'));
    EXPECT_EQ(field(tag, 33, 30), std::string("My Artist") + std::string(21, '\0'));
    EXPECT_EQ(field(tag, 63, 30), std::string("My Album") + std::string(22, '\0'));
    EXPECT_EQ(field(tag, 93, 33), std::string(33, '\0')) << "year, comment and the track marker";
    EXPECT_EQ(tag[126], 7);
    EXPECT_EQ(tag[127], 29);
}

TEST(Id3v1Tag, LongTextsAreCutTo30BytesWithoutTerminator) {
    const std::string thirty(30, 'T');
    const Id3v1Tag exact = buildId3v1Tag(trackInfo(thirty, "", "Artist", "", 0));
    EXPECT_EQ(field(exact, 3, 30), thirty);
    EXPECT_EQ(field(exact, 33, 6), "Artist") << "the artist starts right after";
    const Id3v1Tag cut = buildId3v1Tag(trackInfo(std::string(40, 'x'), "", "", "", 0));
    EXPECT_EQ(field(cut, 3, 30), std::string(30, 'x'));
    EXPECT_EQ(cut[33], 0);
}

TEST(Id3v1Tag, BytesGoInAsGiven) {
    const Id3v1Tag tag = buildId3v1Tag(trackInfo("  Gr\xFC\xDF"
                                                 "e  ",
                                                 "", "", "", 0));
    EXPECT_EQ(field(tag, 3, 10), std::string("  Gr\xFC\xDF"
                                             "e  ") +
                                     std::string(1, '\0'));
}

TEST(Id3v1Tag, TrackNumberWrapsAt256) {
    EXPECT_EQ(buildId3v1Tag(trackInfo("", "", "", "", 0))[126], 1);
    EXPECT_EQ(buildId3v1Tag(trackInfo("", "", "", "", 254))[126], 255);
    EXPECT_EQ(buildId3v1Tag(trackInfo("", "", "", "", 255))[126], 0);
}

TEST(TrackTexts, RecordSizeDecidesWhatIsCopied) {
    const CVN_TrackInfo full = trackInfo("T", "Al", "Ar", "Rock", 9);
    CVN_TrackInfo host = full;
    host.size = 784;
    CVN_TrackInfo copy = copyTrackTexts(host);
    EXPECT_STREQ(copy.title, "T");
    EXPECT_STREQ(copy.artist, "Ar");
    EXPECT_STREQ(copy.genre, "");
    EXPECT_EQ(copy.track, 0);
    host.size = 1044;
    copy = copyTrackTexts(host);
    EXPECT_STREQ(copy.genre, "Rock");
    EXPECT_EQ(copy.track, 0);
    for (int32_t size : {0, -1, 1045, 783, 100000}) {
        host.size = size;
        copy = copyTrackTexts(host);
        EXPECT_STREQ(copy.genre, "Rock") << size;
        EXPECT_EQ(copy.track, 9) << size;
    }
}

TEST(TrackTexts, UnterminatedFieldsAreCutTo259BytesAndTerminated) {
    CVN_TrackInfo host;
    std::memset(&host, 'z', sizeof host);
    host.size = sizeof host;
    const CVN_TrackInfo copy = copyTrackTexts(host);
    EXPECT_EQ(std::string(copy.title), std::string(259, 'z'));
    EXPECT_EQ(std::string(copy.genre), std::string(259, 'z'));
    EXPECT_EQ(copy.track, 'z');
}

using TagInFileTest = StreamTest;

TEST_F(TagInFileTest, ThreeTextRecordWithEmptyTexts) {
    CVN_StreamHandle handle = start(16, trackInfo("", "", "", "Rock", 5, 784));
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
    std::vector<uint8_t> expected = {'T', 'A', 'G'};
    expected.resize(126, 0);
    expected.push_back(1);
    expected.push_back(255);
    EXPECT_EQ(output(), expected);
}

TEST_F(TagInFileTest, FourTextRecordHasGenreButNoTrack) {
    CVN_StreamHandle handle = start(16, trackInfo("Song", "Record", "Band", "ska", 5, 1044));
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
    const std::vector<uint8_t> file = output();
    ASSERT_EQ(file.size(), 128u);
    EXPECT_EQ(std::string(file.begin() + 3, file.begin() + 7), "Song");
    EXPECT_EQ(std::string(file.begin() + 33, file.begin() + 37), "Band");
    EXPECT_EQ(std::string(file.begin() + 63, file.begin() + 69), "Record");
    EXPECT_EQ(file[126], 1);
    EXPECT_EQ(file[127], 21);
}

} // namespace
} // namespace cvn::test
