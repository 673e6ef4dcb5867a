// A library kept in step: --update makes again what changed and only that, --delete removes what
// cvnhost made from a source that is gone and nothing else, --dry-run only says so.
#include "cvnhost_fixture.h"
#include "support/audio_tools.h"

#include <nlohmann/json.hpp>
#include <taglib/flacfile.h>
#include <taglib/tpropertymap.h>

#include <sys/stat.h>

#include <fcntl.h>

#include <filesystem>
#include <algorithm>
#include <fstream>
#include <sstream>

namespace cvn::test {
namespace {

namespace fs = std::filesystem;

Metadata titled(const std::string& title) {
    Metadata metadata;
    metadata.title = title;
    return metadata;
}

// A FLAC file, its folders made.
void writeFlac(const std::string& path, double seconds, const Metadata& metadata = {}) {
    fs::create_directories(fs::path(path).parent_path());
    writeAudio(path, {"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, seconds}, metadata);
}

TEST_F(CvnhostTest, UpdateMakesAgainWhatChangedAndOnlyThat) {
    for (const std::string name : {"retagged", "touched", "replaced", "untouched"}) {
        ASSERT_NO_FATAL_FAILURE(writeFlac(file("lib/" + name + ".flac"), 1.0, titled(name)));
    }
    const std::vector<std::string> update = {"encode", "--update", "--out-dir", file("out"), file("lib")};
    ASSERT_EQ(cvnhost(update).exitStatus, 0);
    std::map<std::string, std::vector<uint8_t>> before;
    for (const std::string name : {"retagged", "touched", "replaced", "untouched"}) {
        before[name] = readFileBytes(file("out/" + name + ".mp3"));
    }
    ASSERT_NO_FATAL_FAILURE(setFlacTitle(file("lib/retagged.flac"), "A new title"));
    utimensat(AT_FDCWD, file("lib/touched.flac").c_str(), nullptr, 0);
    ASSERT_NO_FATAL_FAILURE(writeFlac(file("lib/replaced.flac"), 1.5, titled("replaced")));
    const ChildResult result = cvnhost(update);
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    struct Row {
        std::string name;
        bool sameAudio, sameFile;
        std::string title;
    };
    const std::vector<Row> rows = {{"retagged", true, false, "A new title"},
                                   {"touched", true, false, "touched"},
                                   {"replaced", false, false, "replaced"},
                                   {"untouched", true, true, "untouched"}};
    for (const Row& row : rows) {
        const std::string output = file("out/" + row.name + ".mp3");
        const std::vector<uint8_t> now = readFileBytes(output);
        EXPECT_EQ(now == before[row.name], row.sameFile) << row.name;
        const std::vector<uint8_t> beforeAudio = [&] {
            const std::string copy = file(row.name + ".before.mp3");
            std::ofstream(copy, std::ios::binary)
                .write(reinterpret_cast<const char*>(before[row.name].data()),
                       static_cast<std::streamsize>(before[row.name].size()));
            return audioOf(copy);
        }();
        EXPECT_EQ(audioOf(output) == beforeAudio, row.sameAudio) << row.name;
        EXPECT_EQ(readId3v2WithMutagen(output)["TIT2"], row.title) << row.name;
    }
    EXPECT_NE(result.errors.find("1 encoded"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("1 encoded as 128 kbit/s, stereo; 2 up to date; 1 retagged; of 4 input(s)"),
              std::string::npos)
        << result.errors;
    // Other settings make every output again.
    const ChildResult rebitrated =
        cvnhost({"encode", "--update", "-b", "192", "--out-dir", file("out"), file("lib")});
    EXPECT_NE(rebitrated.errors.find("4 encoded as 192 kbit/s"), std::string::npos) << rebitrated.errors;
}

TEST_F(CvnhostTest, DeleteRemovesOnlyWhatLostItsSource) {
    for (const std::string name : {"a/kept", "b/gone", "b/also-gone"}) {
        ASSERT_NO_FATAL_FAILURE(writeFlac(file("lib/" + name + ".flac"), 0.5));
    }
    ASSERT_EQ(cvnhost({"encode", "--quiet", "--out-dir", file("out"), file("lib")}).exitStatus, 0);
    writeText(file("out/mine.mp3"), "the user's own MP3\n");
    writeText(file("out/b/notes.txt"), "the user's notes\n");
    fs::remove_all(file("lib/b"));
    ASSERT_NO_FATAL_FAILURE(writeFlac(file("lib/c/new.flac"), 0.5));
    const std::vector<std::string> run = {"encode", "--delete", "--out-dir", file("out"), file("lib")};
    std::vector<std::string> dryRun = run;
    dryRun.push_back("--dry-run");
    const ChildResult listed = cvnhost(dryRun);
    EXPECT_EQ(listed.exitStatus, 0) << listed.errors;
    EXPECT_EQ(listed.output, "encode " + file("lib/c/new.flac") + " -> " + file("out/c/new.mp3") +
                                 "\nremove " + file("out/b/also-gone.mp3") + "\nremove " +
                                 file("out/b/gone.mp3") + "\n");
    EXPECT_TRUE(fs::exists(file("out/b/gone.mp3"))) << "a dry run touches nothing";
    EXPECT_FALSE(fs::exists(file("out/c")));
    // A copy not made yet (a new card) has nothing to remove, and says what it would encode.
    const ChildResult first =
        cvnhost({"encode", "--delete", "--dry-run", "--out-dir", file("new"), file("lib")});
    EXPECT_EQ(first.exitStatus, 0) << first.errors;
    EXPECT_FALSE(fs::exists(file("new")));
    // An input folder that is not there (an unmounted disk) removes nothing.
    const ChildResult unmounted =
        cvnhost({"encode", "--delete", "--out-dir", file("out"), file("lib"), file("unmounted")});
    EXPECT_EQ(unmounted.exitStatus, 1);
    EXPECT_NE(
        unmounted.errors.find("--delete removes nothing: the input " + file("unmounted") + " does not exist"),
        std::string::npos)
        << unmounted.errors;
    EXPECT_TRUE(fs::exists(file("out/b/gone.mp3")));
    const ChildResult result = cvnhost(run);
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_NE(result.errors.find("2 removed: their sources are gone"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find(file("out/b/gone.mp3") + " (removed)\n"), std::string::npos)
        << result.errors;
    EXPECT_EQ(namesIn(file("out")), (std::vector<std::string>{"a", "b", "c", "mine.mp3"}));
    EXPECT_EQ(namesIn(file("out/b")), std::vector<std::string>{"notes.txt"}) << "the user's file stays";
    fs::remove(file("out/b/notes.txt"));
    fs::remove_all(file("lib/c"));
    ASSERT_EQ(cvnhost(run).exitStatus, 0);
    EXPECT_EQ(namesIn(file("out")), (std::vector<std::string>{"a", "b", "mine.mp3"}))
        << "a folder emptied by the removal goes; one emptied by the user stays";
}

} // namespace
} // namespace cvn::test

namespace cvn::test {
namespace {

// Lossy inputs by codec, not by name: an .m4a of AAC is lossy, one of ALAC is not. Each mode does
// what it says, the report says it of each track, and a copied MP3 keeps its audio frames byte for
// byte.
TEST_F(CvnhostTest, LossyInputsAreEncodedCopiedOrLeftOutAsAsked) {
    const std::string source = file("source.wav");
    ASSERT_NO_FATAL_FAILURE(writeAudio(source, {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 1.0}));
    fs::create_directory(file("lib"));
    const std::vector<std::pair<std::string, std::vector<std::string>>> inputs = {
        {"lossless.wav", {"-c:a", "pcm_s16le"}},
        {"lossy.mp3", {"-c:a", "libmp3lame"}},
        {"vorbis.ogg", {"-c:a", "libvorbis"}},
        {"aac.m4a", {"-c:a", "aac"}},
        {"alac.m4a", {"-c:a", "alac"}}};
    for (const auto& [name, codec] : inputs) {
        std::vector<std::string> arguments = {"-nostdin", "-loglevel", "error", "-y", "-i", source};
        arguments.insert(arguments.end(), codec.begin(), codec.end());
        arguments.push_back(file("lib/" + name));
        ASSERT_EQ(runProgram("/usr/bin/ffmpeg", arguments).exitStatus, 0) << name;
    }
    struct Row {
        std::string mode;
        std::vector<std::string> outputs;
        std::string said;
        // The report's status of aac.m4a, alac.m4a, lossless.wav, lossy.mp3 and vorbis.ogg.
        std::vector<std::string> statuses;
    };
    const std::vector<Row> rows = {
        {"encode",
         {"aac.mp3", "alac.mp3", "lossless.mp3", "lossy.mp3", "vorbis.mp3"},
         "3 lossy input(s) encoded again",
         {"encoded", "encoded", "encoded", "encoded", "encoded"}},
        {"copy",
         {"aac.mp3", "alac.mp3", "lossless.mp3", "lossy.mp3", "vorbis.mp3"},
         "1 MP3 input(s) copied as they are",
         {"encoded", "encoded", "encoded", "copied", "encoded"}},
        {"skip",
         {"alac.mp3", "lossless.mp3"},
         "3 lossy input(s) left out",
         {"skipped", "encoded", "encoded", "skipped", "skipped"}},
    };
    for (const Row& row : rows) {
        const std::string out = file("out-" + row.mode);
        const std::string report = file("report-" + row.mode + ".jsonl");
        const ChildResult result =
            cvnhost({"encode", "--lossy", row.mode, "--report", report, "--out-dir", out, file("lib")});
        EXPECT_EQ(result.exitStatus, 0) << row.mode << ": " << result.errors;
        EXPECT_NE(result.errors.find(row.said), std::string::npos) << row.mode << ": " << result.errors;
        EXPECT_EQ(namesIn(out), row.outputs) << row.mode;
        std::vector<std::string> statuses;
        std::istringstream lines(readText(report));
        for (std::string line; std::getline(lines, line);) {
            statuses.push_back(nlohmann::json::parse(line).at("status").get<std::string>());
        }
        EXPECT_EQ(statuses, row.statuses) << row.mode << ": " << readText(report);
    }
    EXPECT_EQ(audioOf(file("out-copy/lossy.mp3")), audioOf(file("lib/lossy.mp3")))
        << "the MP3's frames as they were";
    // The encoder that made a copy's frames is the one its TSSE names; an encode names ours.
    const std::string theirs = readId3v2WithMutagen(file("lib/lossy.mp3"))["TSSE"];
    EXPECT_EQ(theirs.rfind("Lavf", 0), 0u) << theirs;
    EXPECT_EQ(readId3v2WithMutagen(file("out-copy/lossy.mp3"))["TSSE"], theirs);
    EXPECT_EQ(readId3v2WithMutagen(file("out-encode/lossy.mp3"))["TSSE"].rfind("LAME", 0), 0u);
}

// A track without a picture takes its folder's cover file; --cover still wins.
TEST_F(CvnhostTest, AFolderCoverGoesToTracksWithoutAPicture) {
    ASSERT_NO_FATAL_FAILURE(writeFlac(file("lib/track.flac"), 0.3));
    writeText(file("lib/Folder.PNG"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    writeText(file("lib/cover.jpg"), std::string("\xFF\xD8\xFF\xE0 jpeg", 9));
    writeText(file("given.png"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR-given", 22));
    ASSERT_EQ(cvnhost({"encode", "--quiet", "--out-dir", file("out"), file("lib")}).exitStatus, 0);
    EXPECT_EQ(readId3v2WithMutagen(file("out/track.mp3"))["APIC"], "image/jpeg 9 3") << "cover before folder";
    ASSERT_EQ(
        cvnhost({"encode", "--quiet", "--cover", file("given.png"), "--out-dir", file("given"), file("lib")})
            .exitStatus,
        0);
    EXPECT_EQ(readId3v2WithMutagen(file("given/track.mp3"))["APIC"], "image/png 22 3");
}

} // namespace
} // namespace cvn::test
