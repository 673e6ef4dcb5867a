// Playlists in the copy (--playlists): each entry rewritten to its track's output, and the copy's
// playlists kept in step as the tracks are, never one cvnhost did not write.
#include "cvnhost_fixture.h"
#include "planning/playlists.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <tuple>

namespace cvn::test {
namespace {

namespace fs = std::filesystem;
using cvnhost::PlaylistIdentity;

const std::string kMarker = "#CVNHOST-SOURCE: {\"root\":\"lib\",\"source\":\"Lists/road.m3u8\"}\n";

TEST(Playlists, EachEntryNamesItsTracksOutputFromThePlaylistsPlaceInTheCopy) {
    const std::map<fs::path, fs::path> outputs = {
        {"/lib/A/one.flac", "/out/A/One.mp3"},
        {"/lib/A/three space.flac", "/out/A/three space.mp3"},
        {"/lib/Lists/here.flac", "/out/Lists/here.mp3"},
        {"/lib/Lists/café.flac", "/out/Lists/café.mp3"},
    };
    const cvnhost::OutputLookup lookup = [&](const fs::path& input) -> std::optional<fs::path> {
        const auto found = outputs.find(input.lexically_normal());
        return found == outputs.end() ? std::nullopt : std::optional(found->second);
    };
    struct Case {
        const char* what;
        std::string text, expected;
        size_t entries, leftOut;
    };
    const std::vector<Case> cases = {
        {"relative, up a folder", "../A/one.flac\n", kMarker + "../A/One.mp3\n", 1, 0},
        {"in its own folder", "here.flac", kMarker + "here.mp3\n", 1, 0},
        {"absolute", "/lib/A/one.flac\n", kMarker + "../A/One.mp3\n", 1, 0},
        {"backslashes", "..\\A\\three space.flac\n", kMarker + "../A/three space.mp3\n", 1, 0},
        {"file URLs",
         "file:///lib/A/three%20space.flac\nfile://localhost/lib/A/one.flac\nfile://nas/lib/A/one.flac\n",
         kMarker + "../A/three space.mp3\n../A/One.mp3\n", 2, 1},
        {"a stream stays", "http://radio.example/live\n", kMarker + "http://radio.example/live\n", 1, 0},
        {"BOM and CRLF", "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:3,One\r\n../A/one.flac\r\n\r\n",
         "#EXTM3U\n" + kMarker + "#EXTINF:3,One\n../A/One.mp3\n", 1, 0},
        {"an entry left out takes its EXTINF",
         "#EXTM3U\n# "
         "mine\n#EXTINF:1,Gone\n#EXTGRP:x\n../A/gone.flac\n#EXTINF:2,Here\nhere.flac\n#EXTINF:9,Last\n",
         "#EXTM3U\n" + kMarker + "# mine\n#EXTINF:2,Here\nhere.mp3\n", 1, 1},
        {"Latin-1", "caf\xE9.flac\n", kMarker + "café.mp3\n", 1, 0},
        {"a copy's marker is made again",
         "#CVNHOST-SOURCE: {\"root\":\"old\",\"source\":\"x.m3u\"}\nhere.flac\n", kMarker + "here.mp3\n", 1,
         0},
        {"nothing in the copy", "../B/none.flac\nC:\\Music\\x.flac\n", kMarker, 0, 2},
    };
    for (const Case& c : cases) {
        const cvnhost::RewrittenPlaylist rewritten =
            cvnhost::rewritePlaylist(c.text, {"lib", "Lists/road.m3u8"}, "/lib/Lists", lookup, "/out/Lists");
        EXPECT_EQ(rewritten.text, c.expected) << c.what;
        EXPECT_EQ(rewritten.entries, c.entries) << c.what;
        EXPECT_EQ(rewritten.leftOut, c.leftOut) << c.what;
    }
}

TEST(Playlists, TheMarkerNamesTheSourceAndOnlyCvnhostsPlaylistsHaveOne) {
    const PlaylistIdentity identity{"Mus\xEFk", "Lists/caf\xE9 \"live\".m3u"};
    const std::string text =
        cvnhost::rewritePlaylist(
            "a.flac\n", identity, "/x", [](const fs::path&) { return std::nullopt; }, "/y")
            .text;
    EXPECT_EQ(cvnhost::playlistMarkerIn(text), cvnhost::markedIdentityOf(identity));
    EXPECT_EQ(cvnhost::markedIdentityOf(identity).source, "Lists/café \"live\".m3u");
    for (const std::string plain :
         {"#EXTM3U\na.mp3\n", "#CVNHOST-SOURCE: {not json\n", "#CVNHOST-SOURCE: {}\n"}) {
        EXPECT_EQ(cvnhost::playlistMarkerIn(plain), std::nullopt) << plain;
    }
}

void writeTrack(const std::string& path, const std::string& title) {
    fs::create_directories(fs::path(path).parent_path());
    Metadata metadata;
    metadata.title = title;
    metadata.artist = "Artist";
    writeAudio(path, {"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 0.3}, metadata);
}

// The entries of a playlist in the copy, each as the path it leads to.
std::vector<fs::path> entriesOf(const std::string& playlist) {
    std::vector<fs::path> entries;
    std::istringstream lines(readText(playlist));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] != '#') {
            entries.push_back((fs::path(playlist).parent_path() / line).lexically_normal());
        }
    }
    return entries;
}

// The file's inode and modification time: what a write, even of the same bytes, alters.
std::tuple<ino_t, time_t, long> identityOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
    return {status.st_ino, status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
}

class PlaylistsRun : public CvnhostTest {
  protected:
    void SetUp() override {
        CvnhostTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(writeTrack(file("lib/A/one.flac"), "One"));
        ASSERT_NO_FATAL_FAILURE(writeTrack(file("lib/A/two.flac"), "Two"));
        fs::create_directories(file("lib/Lists"));
        writeText(file("lib/Lists/road.m3u8"),
                  "#EXTM3U\r\n#EXTINF:1,One\r\n..\\A\\one.flac\r\n#EXTINF:1,Gone\r\n"
                  "../A/gone.flac\r\n" +
                      file("lib/A/two.flac") + "\r\n");
        writeText(file("lib/top.m3u"), "A/two.flac\n");
    }
    ChildResult sync(const std::string& nameTemplate, std::vector<std::string> more = {}) {
        std::vector<std::string> arguments = {"encode",    "--playlists", "--update", "--delete",
                                              "--out-dir", file("out"),   "--name",   nameTemplate};
        arguments.insert(arguments.end(), more.begin(), more.end());
        arguments.push_back(file("lib"));
        return cvnhost(arguments);
    }
};

TEST_F(PlaylistsRun, WrittenWithItsEntriesRewrittenAgainOnlyWhenTheyChange) {
    const ChildResult first = sync("%title%");
    ASSERT_EQ(first.exitStatus, 0) << first.errors;
    EXPECT_NE(first.errors.find(file("out/Lists/road.m3u8") + ": 2 entries, 1 left out (not in the copy)"),
              std::string::npos)
        << first.errors;
    EXPECT_NE(first.errors.find("2 playlist(s) written"), std::string::npos) << first.errors;
    const std::vector<fs::path> road = {file("out/One.mp3"), file("out/Two.mp3")};
    EXPECT_EQ(entriesOf(file("out/Lists/road.m3u8")), road);
    EXPECT_EQ(entriesOf(file("out/top.m3u")), std::vector<fs::path>{file("out/Two.mp3")});
    EXPECT_EQ(readText(file("out/Lists/road.m3u8")).find('\r'), std::string::npos);

    const auto before = identityOf(file("out/Lists/road.m3u8"));
    const ChildResult again = sync("%title%");
    EXPECT_EQ(again.errors.find("written"), std::string::npos) << again.errors;
    EXPECT_EQ(identityOf(file("out/Lists/road.m3u8")), before) << "an unchanged playlist is not written";

    const ChildResult planned = sync("%artist%/%title%", {"--dry-run"});
    EXPECT_NE(planned.output.find("playlist " + file("out/Lists/road.m3u8") + "\n"), std::string::npos)
        << planned.output;
    EXPECT_EQ(identityOf(file("out/Lists/road.m3u8")), before) << "a dry run writes nothing";
    const ChildResult renamed = sync("%artist%/%title%");
    ASSERT_EQ(renamed.exitStatus, 0) << renamed.errors;
    EXPECT_EQ(entriesOf(file("out/Lists/road.m3u8")),
              (std::vector<fs::path>{file("out/Artist/One.mp3"), file("out/Artist/Two.mp3")}));
    for (const fs::path& entry : entriesOf(file("out/Lists/road.m3u8"))) {
        EXPECT_TRUE(fs::is_regular_file(entry)) << entry;
    }
}

TEST_F(PlaylistsRun, DeleteRemovesOnlyTheOnesWhoseSourceIsGoneNeverAHandMadeOne) {
    fs::create_directories(file("out"));
    writeText(file("out/top.m3u"), "mine\n");
    writeText(file("out/mine.m3u8"), "One.mp3\n");
    const ChildResult first = sync("%title%");
    ASSERT_EQ(first.exitStatus, 0) << first.errors;
    EXPECT_NE(first.errors.find(file("out/top.m3u") + ": a playlist cvnhost did not write"),
              std::string::npos)
        << first.errors;
    ASSERT_TRUE(fs::exists(file("out/Lists/road.m3u8")));

    // Its folder left empty looks like a disk not mounted: nothing is removed until it goes too.
    fs::remove(file("lib/Lists/road.m3u8"));
    fs::remove(file("lib/top.m3u"));
    const ChildResult refused = sync("%title%");
    EXPECT_NE(refused.errors.find("--delete removes no playlist: " + file("lib/Lists") + " is empty"),
              std::string::npos)
        << refused.errors;
    ASSERT_TRUE(fs::exists(file("out/Lists/road.m3u8")));
    fs::remove(file("lib/Lists"));
    const ChildResult planned = sync("%title%", {"--dry-run"});
    EXPECT_EQ(planned.output, "remove " + file("out/Lists/road.m3u8") + "\n");
    EXPECT_NE(planned.errors.find("it would keep 2, remove 1, of 2 input(s)"), std::string::npos)
        << planned.errors;
    const ChildResult removed = sync("%title%");
    ASSERT_EQ(removed.exitStatus, 0) << removed.errors;
    EXPECT_NE(removed.errors.find("1 playlist(s) removed"), std::string::npos) << removed.errors;
    EXPECT_FALSE(fs::exists(file("out/Lists"))) << "the folder it leaves empty goes too";
    EXPECT_EQ(readText(file("out/top.m3u")), "mine\n");
    EXPECT_EQ(readText(file("out/mine.m3u8")), "One.mp3\n");
}

} // namespace
} // namespace cvn::test
