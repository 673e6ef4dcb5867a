// The copy as a mirror: one output per source whatever changes, and the least work for each change
// (a move for a new name, a retag for a setting of the tags, an encode only for the audio's).
#include "cvnhost_fixture.h"
#include "support/audio_tools.h"

#include <taglib/flacfile.h>
#include <taglib/tpropertymap.h>

#include <filesystem>

namespace cvn::test {
namespace {

namespace fs = std::filesystem;

void writeTrack(const std::string& path, const std::string& title, double seconds) {
    fs::create_directories(fs::path(path).parent_path());
    Metadata metadata;
    metadata.title = title;
    metadata.artist = "Artist";
    metadata.album = "Album";
    writeAudio(path, {"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, seconds}, metadata);
}

// The MP3 files below a folder, by their paths below it.
std::vector<std::string> mp3sBelow(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.path().extension() == ".mp3") {
            found.push_back(entry.path().lexically_relative(folder).string());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// A retitled track under a template, a new template, a source renamed: each output is moved into
// its new place (the folders it leaves go), never encoded twice or left behind.
TEST_F(CvnhostTest, AnOutputMovesWithItsSourceNameAndTemplate) {
    ASSERT_NO_FATAL_FAILURE(writeTrack(file("lib/CD1/fjord.flac"), "Fjord", 0.5));
    ASSERT_NO_FATAL_FAILURE(writeTrack(file("lib/CD1/sea.flac"), "Sea", 0.6));
    const auto sync = [&](const std::string& nameTemplate, std::vector<std::string> more = {}) {
        std::vector<std::string> arguments = {"encode", "--update", "--delete", "--out-dir", file("out")};
        if (!nameTemplate.empty()) {
            arguments.insert(arguments.end(), {"--name", nameTemplate});
        }
        arguments.insert(arguments.end(), more.begin(), more.end());
        arguments.push_back(file("lib"));
        return cvnhost(arguments);
    };
    ASSERT_EQ(sync("%artist%/%title%").exitStatus, 0);
    const std::vector<uint8_t> seaBefore = readFileBytes(file("out/Artist/Sea.mp3"));
    ASSERT_NO_FATAL_FAILURE(setFlacTitle(file("lib/CD1/fjord.flac"), "Fjord (2024 Remaster)"));
    const ChildResult planned = sync("%artist%/%title%", {"--dry-run"});
    EXPECT_EQ(planned.output, "move " + file("out/Artist/Fjord.mp3") + " -> " +
                                  file("out/Artist/Fjord (2024 Remaster).mp3") + "\n");
    struct Step {
        const char* what;
        std::string nameTemplate;
        std::vector<std::string> outputs;
        std::string said;
    };
    const std::vector<Step> steps = {
        {"retitled", "%artist%/%title%", {"Artist/Fjord (2024 Remaster).mp3", "Artist/Sea.mp3"}, "1 moved"},
        {"a new template",
         "%album%/%title%",
         {"Album/Fjord (2024 Remaster).mp3", "Album/Sea.mp3"},
         "2 moved"},
        {"no template", "", {"CD1/fjord.mp3", "CD1/sea.mp3"}, "2 moved"},
    };
    for (const Step& step : steps) {
        const ChildResult result = sync(step.nameTemplate);
        EXPECT_EQ(result.exitStatus, 0) << step.what << ": " << result.errors;
        EXPECT_NE(result.errors.find(step.said), std::string::npos) << step.what << ": " << result.errors;
        EXPECT_EQ(result.errors.find("encoded"), std::string::npos) << step.what << ": " << result.errors;
        EXPECT_EQ(mp3sBelow(file("out")), step.outputs) << step.what;
    }
    EXPECT_EQ(namesIn(file("out")), std::vector<std::string>{"CD1"}) << "the folders the moves left are gone";
    EXPECT_EQ(readFileBytes(file("out/CD1/sea.mp3")), seaBefore) << "a move alone keeps every byte";
    // The source file renamed: its output follows it, found by its audio.
    fs::rename(file("lib/CD1/sea.flac"), file("lib/CD1/the sea.flac"));
    const ChildResult renamed = sync("");
    EXPECT_NE(renamed.errors.find("1 moved"), std::string::npos) << renamed.errors;
    EXPECT_EQ(mp3sBelow(file("out")), (std::vector<std::string>{"CD1/fjord.mp3", "CD1/the sea.mp3"}));
    // Two outputs of one source, left by an earlier run: the one at the planned path stays.
    fs::copy_file(file("out/CD1/fjord.mp3"), file("out/CD1/fjord (old name).mp3"));
    const ChildResult duplicate = sync("");
    EXPECT_NE(duplicate.errors.find("1 removed: their sources have their output elsewhere"),
              std::string::npos)
        << duplicate.errors;
    EXPECT_EQ(mp3sBelow(file("out")), (std::vector<std::string>{"CD1/fjord.mp3", "CD1/the sea.mp3"}));
    // Two of them, neither at the planned path: one moves there, the other goes, as the dry run says.
    fs::rename(file("out/CD1/fjord.mp3"), file("out/b1.mp3"));
    fs::copy_file(file("out/b1.mp3"), file("out/b2.mp3"));
    EXPECT_EQ(sync("", {"--dry-run"}).output, "move " + file("out/b1.mp3") + " -> " +
                                                  file("out/CD1/fjord.mp3") + "\nremove " +
                                                  file("out/b2.mp3") + "\n");
    EXPECT_EQ(sync("").exitStatus, 0);
    EXPECT_EQ(mp3sBelow(file("out")), (std::vector<std::string>{"CD1/fjord.mp3", "CD1/the sea.mp3"}));
}

// A move onto a file cvnhost did not make is refused and named: both files stay as they are, and
// the run fails until the user clears the way.
TEST_F(CvnhostTest, AMoveOntoAFileCvnhostDidNotMakeIsRefused) {
    ASSERT_NO_FATAL_FAILURE(writeTrack(file("lib/a.flac"), "Beta", 0.3));
    const std::vector<std::string> sync = {"encode",  "--update",  "--delete",  "--name",
                                           "%title%", "--out-dir", file("out"), file("lib")};
    ASSERT_EQ(cvnhost(sync).exitStatus, 0);
    ASSERT_NO_FATAL_FAILURE(setFlacTitle(file("lib/a.flac"), "Gamma"));
    writeText(file("out/Gamma.mp3"), "the user's\n");
    const std::vector<uint8_t> before = readFileBytes(file("out/Beta.mp3"));
    for (const bool dryRun : {true, false}) {
        std::vector<std::string> arguments = sync;
        if (dryRun) {
            arguments.push_back("--dry-run");
        }
        const ChildResult refused = cvnhost(arguments);
        EXPECT_EQ(refused.exitStatus, 1) << refused.errors;
        EXPECT_NE(refused.errors.find(file("out/Gamma.mp3") + " is not cvnhost's, so the output of " +
                                      file("lib/a.flac") + " stays at " + file("out/Beta.mp3")),
                  std::string::npos)
            << refused.errors;
        EXPECT_EQ(readFileBytes(file("out/Beta.mp3")), before);
        EXPECT_EQ(readText(file("out/Gamma.mp3")), "the user's\n");
    }
    fs::rename(file("out/Gamma.mp3"), file("mine.mp3"));
    EXPECT_EQ(cvnhost(sync).exitStatus, 0);
    EXPECT_EQ(mp3sBelow(file("out")), std::vector<std::string>{"Gamma.mp3"});
}

// Outputs whose tracks take each other's names (titles swapped; one retitled onto the other's
// name, which takes " (2)"; onto the name of one whose new audio is encoded elsewhere) are moved,
// never encoded again: each keeps its audio and its own frames.
TEST_F(CvnhostTest, OutputsThatTradeNamesAreMovedNotEncoded) {
    struct Row {
        const char* what;
        std::string newA, newB;           // the titles the two sources take
        bool newAudioOfB;                 // b's audio replaced too
        std::string outputOfA, outputOfB; // their outputs' names then
        std::string said;
    };
    const std::vector<Row> rows = {
        {"swapped", "Beta", "Alpha", false, "Beta.mp3", "Alpha.mp3", "nothing to encode: 2 moved"},
        {"onto the other's name", "Beta", "Beta", false, "Beta.mp3", "Beta (2).mp3",
         "nothing to encode: 2 moved"},
        {"onto a name left over", "Beta", "Gamma", true, "Beta.mp3", "Gamma.mp3", "1 encoded"},
    };
    for (const Row& row : rows) {
        fs::remove_all(file("lib"));
        fs::remove_all(file("out"));
        ASSERT_NO_FATAL_FAILURE(writeTrack(file("lib/a.flac"), "Alpha", 0.4));
        ASSERT_NO_FATAL_FAILURE(writeTrack(file("lib/b.flac"), "Beta", 0.6));
        const std::vector<std::string> sync = {"encode",  "--update",  "--delete",  "--name",
                                               "%title%", "--out-dir", file("out"), file("lib")};
        ASSERT_EQ(cvnhost(sync).exitStatus, 0);
        const std::vector<uint8_t> audioOfA = audioOf(file("out/Alpha.mp3"));
        const std::vector<uint8_t> audioOfB = audioOf(file("out/Beta.mp3"));
        if (row.newAudioOfB) {
            ASSERT_NO_FATAL_FAILURE(writeTrack(file("lib/b.flac"), "Beta", 0.8));
        }
        ASSERT_NO_FATAL_FAILURE(setFlacTitle(file("lib/a.flac"), row.newA));
        ASSERT_NO_FATAL_FAILURE(setFlacTitle(file("lib/b.flac"), row.newB));
        const ChildResult result = cvnhost(sync);
        EXPECT_EQ(result.exitStatus, 0) << row.what << ": " << result.errors;
        EXPECT_NE(result.errors.find(row.said), std::string::npos) << row.what << ": " << result.errors;
        EXPECT_EQ(audioOf(file("out/" + row.outputOfA)), audioOfA) << row.what;
        EXPECT_EQ(audioOf(file("out/" + row.outputOfB)) == audioOfB, !row.newAudioOfB) << row.what;
        EXPECT_EQ(namesIn(file("out")).size(), 2u) << row.what << ": nothing left aside";
    }
}

// A setting that changes only tags retags (ReplayGain measured again, as an encode would give it);
// one that changes the audio encodes.
TEST_F(CvnhostTest, ASettingOfTheTagsRetagsAndOneOfTheAudioEncodes) {
    ASSERT_NO_FATAL_FAILURE(writeTrack(file("lib/a.flac"), "A", 1.0));
    ASSERT_NO_FATAL_FAILURE(writeTrack(file("lib/b.flac"), "B", 1.5));
    const std::vector<std::string> base = {"encode",    "--update",  "--delete",
                                           "--out-dir", file("out"), file("lib")};
    ASSERT_EQ(cvnhost(base).exitStatus, 0);
    writeText(file("c.png"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR-given", 22));
    struct Change {
        std::vector<std::string> options;
        std::string said;
    };
    const std::vector<Change> changes = {
        {{"--replaygain", "album"}, "nothing to encode: 2 retagged"},
        {{"--replaygain", "album", "--id3v2-version", "4"}, "nothing to encode: 2 retagged"},
        {{"--replaygain", "album", "--id3v2-version", "4", "-V", "2"}, "2 encoded"},
        {{"--id3v2-version", "4", "-V", "2"}, "nothing to encode: 2 retagged"},
        // Tags the run gives, though no source changed.
        {{"--id3v2-version", "4", "-V", "2", "--genre", "Jazz"}, "nothing to encode: 2 retagged"},
        {{"--id3v2-version", "4", "-V", "2", "--genre", "Jazz"}, "nothing to encode: 2 up to date"},
        {{"--id3v2-version", "4", "-V", "2", "--comment", "c", "--cover", file("c.png")},
         "nothing to encode: 2 retagged"},
        {{"--id3v2-version", "4", "-V", "2"}, "nothing to encode: 2 retagged"},
    };
    for (const Change& change : changes) {
        std::vector<std::string> arguments = base;
        arguments.insert(arguments.end() - 1, change.options.begin(), change.options.end());
        const ChildResult result = cvnhost(arguments);
        EXPECT_EQ(result.exitStatus, 0) << result.errors;
        EXPECT_NE(result.errors.find(change.said), std::string::npos) << change.said << ": " << result.errors;
        std::vector<std::string> fresh = arguments;
        fresh[std::find(fresh.begin(), fresh.end(), file("out")) - fresh.begin()] = file("fresh");
        fs::remove_all(file("fresh"));
        ASSERT_EQ(cvnhost(fresh).exitStatus, 0);
        for (const std::string name : {"a.mp3", "b.mp3"}) {
            std::map<std::string, std::string> ours = readId3v2WithMutagen(file("out/" + name));
            std::map<std::string, std::string> theirs = readId3v2WithMutagen(file("fresh/" + name));
            ours.erase("TXXX:CVNHOST_SOURCE");
            theirs.erase("TXXX:CVNHOST_SOURCE");
            EXPECT_EQ(ours, theirs) << change.said << ": " << name << " as a fresh run gives it";
        }
    }
}

} // namespace
} // namespace cvn::test

namespace cvn::test {
namespace {

// The discs of an album take the album folder's cover; a folder above several albums lends none.
TEST_F(CvnhostTest, ADiscFolderTakesItsAlbumFoldersCover) {
    for (const std::string disc : {"CD1", "CD2"}) {
        ASSERT_NO_FATAL_FAILURE(writeTrack(file("lib/Artist/Album/" + disc + "/t.flac"), disc, 0.3));
    }
    Metadata single;
    single.title = "S";
    single.artist = "Artist";
    single.album = "Single";
    fs::create_directories(file("lib/Artist/Single"));
    writeAudio(file("lib/Artist/Single/s.flac"), {"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 0.3},
               single);
    writeText(file("lib/Artist/Album/cover.png"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR-album", 22));
    writeText(file("lib/Artist/folder.png"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    ASSERT_EQ(cvnhost({"encode", "--quiet", "--out-dir", file("out"), file("lib")}).exitStatus, 0);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Artist/Album/CD1/t.mp3", "image/png 22 3"},
        {"Artist/Album/CD2/t.mp3", "image/png 22 3"},
        {"Artist/Single/s.mp3", ""}};
    for (const auto& [output, picture] : expected) {
        EXPECT_EQ(readId3v2WithMutagen(file("out/" + output))["APIC"], picture) << output;
    }
}

} // namespace
} // namespace cvn::test
