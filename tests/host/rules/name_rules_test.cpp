// The names a device takes, as pure rules: folding, shortening as each file system counts,
// reserved DOS names, ASCII, whole paths, and names told apart.
#include "planning/name_clashes.h"
#include "planning/name_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using cvnhost::NameRules;
using cvnhost::NameUnits;

const std::string kJapanese = "日本語の長い題名"; // 8 characters, 24 bytes

std::string repeated(const std::string& text, size_t times) {
    std::string all;
    for (size_t i = 0; i < times; ++i) {
        all += text;
    }
    return all;
}

TEST(NameRules, NamesAreOneUnderCaseFoldingAndNormalisation) {
    const std::vector<std::pair<std::string, std::string>> same = {
        {"01 Intro.mp3", "01 intro.MP3"}, {"Caf\u00e9", "CAFE\u0301"}, {"Stra\u00dfe", "STRASSE"}};
    for (const auto& [a, b] : same) {
        EXPECT_EQ(cvnhost::foldedName(a), cvnhost::foldedName(b)) << a << " / " << b;
    }
    EXPECT_NE(cvnhost::foldedName("01 Intro.mp3"), cvnhost::foldedName("01 Intro 2.mp3"));
}

TEST(NameRules, LongNamesAreCutBetweenCharactersAsTheFileSystemCounts) {
    struct Case {
        std::string name;
        size_t most;
        NameUnits units;
        std::string expected;
    };
    const std::string long300 = repeated("長", 300) + ".mp3";
    const std::vector<Case> cases = {
        // 101 characters, 307 bytes: exFAT takes it whole, ext4 does not.
        {repeated(kJapanese, 12) + "あいうえお.mp3", 255, NameUnits::Utf16,
         repeated(kJapanese, 12) + "あいうえお.mp3"},
        {long300, 255, NameUnits::Utf16, repeated("長", 251) + ".mp3"},
        {long300, 255, NameUnits::Bytes, repeated("長", 83) + ".mp3"}, // 249 + 4 bytes: no character halved
        {"e\u0301e\u0301e\u0301.mp3", 8, NameUnits::Utf16,
         "e\u0301e\u0301.mp3"},                            // an accent stays on its letter
        {"Song. . .mp3", 9, NameUnits::Bytes, "Song.mp3"}, // no dot or space left at the cut
        {"01 - Alpha.mp3", 9, NameUnits::Bytes, "01.mp3"}, // nor a separator left dangling
        {"Folder name", 6, NameUnits::Bytes, "Folder"},
        {"ok.mp3", 255, NameUnits::Bytes, "ok.mp3"},
    };
    for (const Case& c : cases) {
        const bool file = c.name.ends_with(".mp3");
        EXPECT_EQ(cvnhost::shortenedName(c.name, c.most, c.units, file), c.expected) << c.name;
    }
}

TEST(NameRules, PathsFollowTheRulesOfTheirDevice) {
    struct Case {
        std::string path;
        NameRules rules;
        std::string expected;
    };
    const NameRules fat{true, false, 255, 0, NameUnits::Utf16};
    const NameRules ascii{true, true, 255, 0, NameUnits::Utf16};
    const NameRules shortPaths{false, false, 255, 20, NameUnits::Bytes};
    const std::vector<Case> cases = {
        {"CON.mp3", fat, "CON_.mp3"},
        {"aux/Nul.tar.mp3", fat, "aux_/Nul_.tar.mp3"},
        {"COM1.mp3", fat, "COM1_.mp3"},
        {"COM10.mp3", fat, "COM10.mp3"},
        {"Console/Lpt.mp3", fat, "Console/Lpt.mp3"},
        {"CON.mp3", NameRules{}, "CON.mp3"},
        {"Bj\u00f6rk/Homogenic/01 J\u00f3ga.mp3", ascii, "Bjork/Homogenic/01 Joga.mp3"},
        {"Sigur R\u00f3s/\u00c1g\u00e6tis byrjun.mp3", ascii, "Sigur Ros/Agaetis byrjun.mp3"},
        {"\u201cQuoted\u201d 1\u00bd.mp3", ascii, "_Quoted_ 1 1_2.mp3"}, // what ASCII gives, FAT takes
        {"Artist/Album/01 Title.mp3", shortPaths, "Artist/Album/01.mp3"},
        {"A/B/" + std::string(40, 'x') + ".mp3", shortPaths, "A/B/" + std::string(12, 'x') + ".mp3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cvnhost::followNameRules(c.path, c.rules), c.expected) << c.path;
    }
}

TEST(NameRules, NamesThatAreOneAreToldApartInTheOrderOfTheTracks) {
    struct Case {
        std::vector<std::string> planned;
        std::map<std::string, std::vector<std::string>> standing; // folder: its names
        std::map<std::string, size_t> owners; // standing files by the track whose output each is
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {{"A/01 Intro.mp3", "A/01 intro.mp3", "A/01 INTRO.mp3"},
         {},
         {},
         {"A/01 Intro.mp3", "A/01 intro (2).mp3", "A/01 INTRO (3).mp3"}},
        {{"ABBA/x.mp3", "Abba/y.mp3"}, {}, {}, {"ABBA/x.mp3", "ABBA/y.mp3"}},
        {{"Abba/x.mp3"}, {{"", {"ABBA"}}}, {}, {"ABBA/x.mp3"}},
        {{"Caf\u00e9.mp3", "Cafe\u0301.mp3"}, {}, {}, {"Caf\u00e9.mp3", "Cafe\u0301 (2).mp3"}},
        // What stands under another spelling is the track's own output, or a name taken.
        {{"A/01 intro.mp3"}, {{"A", {"01 Intro.mp3"}}}, {{"A/01 Intro.mp3", 0}}, {"A/01 Intro.mp3"}},
        {{"A/01 intro.mp3"}, {{"A", {"01 Intro.mp3"}}}, {}, {"A/01 intro (2).mp3"}},
        // An output of a source that is gone is replaced, as one at the very name is.
        {{"A/01 intro.mp3"},
         {{"A", {"01 Intro.mp3"}}},
         {{"A/01 Intro.mp3", cvnhost::kMadeForNoTrack}},
         {"A/01 intro.mp3"}},
        // Another track's output, which that track moves: the name is free in this run.
        {{"A/01 intro.mp3", "A/02 x.mp3"},
         {{"A", {"01 Intro.mp3"}}},
         {{"A/01 Intro.mp3", 1}},
         {"A/01 intro.mp3", "A/02 x.mp3"}},
        {{"A/01 Intro.mp3"}, {{"A", {"01 Intro.mp3", "01 intro.mp3"}}}, {}, {"A/01 Intro.mp3"}},
    };
    for (const Case& c : cases) {
        cvnhost::NameClaims claims(
            NameRules{}, {[&](const std::string& folder) {
                              const auto found = c.standing.find(folder);
                              return found == c.standing.end() ? std::vector<std::string>{} : found->second;
                          },
                          [&](const std::string& file) {
                              const auto found = c.owners.find(file);
                              return found == c.owners.end() ? std::nullopt
                                                             : std::optional<size_t>(found->second);
                          }});
        std::vector<std::string> claimed;
        for (size_t i = 0; i < c.planned.size(); ++i) {
            claimed.push_back(claims.claim(c.planned[i], i));
        }
        EXPECT_EQ(claimed, c.expected) << c.planned.front();
    }
}

TEST(NameRules, ANumberedNameStillFits) {
    EXPECT_EQ(cvnhost::numberedName(std::string(20, 'a') + ".mp3", 2, 16, NameUnits::Bytes),
              "aaaaaaaa (2).mp3");
    EXPECT_EQ(cvnhost::numberedName("x.mp3", 12, 255, NameUnits::Bytes), "x (12).mp3");
}

} // namespace
