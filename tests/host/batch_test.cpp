// Batches: folders mirrored under --out-dir, re-runs, shards, many jobs, and a bad input among
// good ones.
#include "support/audio_tools.h"
#include "support/child_process.h"
#include "support/temporary_directory.h"
#include "cvnhost_fixture.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

namespace cvn::test {
namespace {

// The files below a folder, as paths relative to it.
std::set<std::string> filesBelow(const std::string& folder) {
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files.insert(entry.path().lexically_relative(folder).string());
        }
    }
    return files;
}

// The lines of a report, without the seconds, which differ from run to run.
std::set<std::string> reportWithoutSeconds(const std::string& path) {
    std::set<std::string> lines;
    std::istringstream text(readText(path));
    for (std::string line; std::getline(text, line);) {
        const size_t seconds = line.find(",\"seconds\":");
        lines.insert(line.substr(0, seconds) + line.substr(line.find(',', seconds + 1)));
    }
    return lines;
}

// A folder stands for its audio files, and its tree is mirrored under --out-dir; a run that can
// encode nothing makes nothing. A re-run skips the outputs that exist and says so, --overwrite
// replaces them, and a single encode onto an existing file stops without it.
TEST_F(CvnhostTest, AFolderBecomesAMirroredTreeAndARerunEncodesOnlyWhatIsMissing) {
    const std::string album1 = file("lib/Artist A/Album 1/");
    const std::string album2 = file("lib/Artist B/Album 2/");
    std::filesystem::create_directories(album1);
    std::filesystem::create_directories(album2);
    std::filesystem::create_directories(file("lib/.hidden"));
    const int wav = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    Metadata one;
    one.title = "One";
    one.artist = "A";
    one.album = "Album 1";
    one.track = "1";
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(album1 + "01 One.flac", {"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 0.5}, one));
    ASSERT_NO_FATAL_FAILURE(writeAudio(album1 + "02 Two.WAV", {"", wav, 44100, 2, 0.5}));
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(album2 + "01 Three.ogg", {"", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2, 0.5}));
    ASSERT_NO_FATAL_FAILURE(writeAudio(file("lib/.hidden/x.wav"), {"", wav, 44100, 2, 0.5}));
    writeText(file("lib/notes.txt"), "not audio");

    const ChildResult first = cvnhost({"encode", "--out-dir", file("out"), file("lib")});
    ASSERT_EQ(first.exitStatus, 0) << first.errors;
    const std::set<std::string> tree = {"Artist A/Album 1/01 One.mp3", "Artist A/Album 1/02 Two.mp3",
                                        "Artist B/Album 2/01 Three.mp3"};
    EXPECT_EQ(filesBelow(file("out")), tree);

    ASSERT_EQ(cvnhost({"encode", "--out-dir", file("named"), "--name", "%artist%/%album%/%track% %title%",
                       file("lib")})
                  .exitStatus,
              0);
    EXPECT_EQ(filesBelow(file("named")),
              (std::set<std::string>{"A/Album 1/01 One.mp3", "Unknown Artist/Unknown Album/00 02 Two.mp3",
                                     "Unknown Artist/Unknown Album/00 01 Three.mp3"}));

    const std::vector<uint8_t> kept = readFileBytes(file("out/Artist A/Album 1/01 One.mp3"));
    std::filesystem::remove(file("out/Artist A/Album 1/02 Two.mp3"));
    writeText(file("out/Artist B/Album 2/01 Three.mp3"), "an older file");
    const ChildResult rerun = cvnhost({"encode", "--out-dir", file("out"), file("lib")});
    ASSERT_EQ(rerun.exitStatus, 0) << rerun.errors;
    EXPECT_NE(rerun.errors.find("1 encoded"), std::string::npos) << rerun.errors;
    EXPECT_NE(rerun.errors.find("2 skipped: exists"), std::string::npos) << rerun.errors;
    EXPECT_EQ(filesBelow(file("out")), tree);
    EXPECT_EQ(readText(file("out/Artist B/Album 2/01 Three.mp3")), "an older file");

    ASSERT_EQ(cvnhost({"encode", "--overwrite", "--out-dir", file("out"), file("lib")}).exitStatus, 0);
    EXPECT_EQ(readFileBytes(file("out/Artist A/Album 1/01 One.mp3")), kept)
        << "the same input, the same file";
    EXPECT_NE(readText(file("out/Artist B/Album 2/01 Three.mp3")), "an older file");

    struct Refusal {
        std::vector<std::string> arguments;
        int exitStatus;
        std::string message;
    };
    std::filesystem::create_directories(file("empty"));
    writeText(file("empty/readme.txt"), "");
    writeText(file("corrupt.flac"), "not audio");
    const std::vector<Refusal> refusals = {
        {{file("lib/Artist A/Album 1/01 One.flac"), file("out/Artist A/Album 1/01 One.mp3")},
         1,
         "exists; --overwrite replaces it"},
        {{file("lib"), file("one.mp3")}, 2, "is a folder: its files need --out-dir"},
        {{"--out-dir", file("new"), "--name", "%albun%", file("lib")}, 2, "%albun%: unknown"},
        {{"--out-dir", file("new"), file("empty")}, 2, "no audio files in this folder"},
        {{"--out-dir", file("new"), file("corrupt.flac")}, 1, "corrupt.flac"},
    };
    for (const Refusal& refusal : refusals) {
        std::vector<std::string> arguments = {"encode"};
        arguments.insert(arguments.end(), refusal.arguments.begin(), refusal.arguments.end());
        const ChildResult result = cvnhost(arguments);
        EXPECT_EQ(result.exitStatus, refusal.exitStatus) << refusal.message << ": " << result.errors;
        EXPECT_NE(result.errors.find(refusal.message), std::string::npos) << result.errors;
    }
    EXPECT_FALSE(std::filesystem::exists(file("new"))) << "nothing made when nothing is encoded";
}

// A manifest split into two shards, each run with its report, gives what one run of it gives:
// every track once, with its output, tags and status.
TEST_F(CvnhostTest, ShardsOfAManifestAddUpToOneRun) {
    std::string manifest;
    for (int i = 1; i <= 6; ++i) {
        const std::string name = "t" + std::to_string(i);
        if (i != 6) {
            ASSERT_NO_FATAL_FAILURE(
                writeAudio(file(name + ".wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.3}));
        }
        manifest += "{\"input\": \"" + file(name + ".wav") + "\", \"output\": \"" + name +
                    ".mp3\", \"tags\": {\"title\": \"Title " + std::to_string(i) + "\"}}\n";
    }
    writeText(file("lib.jsonl"), manifest);
    for (const std::string run : {"one", "shards"}) {
        const std::vector<std::string> shards =
            run == "one" ? std::vector<std::string>{"1/1"} : std::vector<std::string>{"1/2", "2/2"};
        for (const std::string& shard : shards) {
            const std::string report = file(run + "-" + shard.substr(0, 1) + ".jsonl");
            const ChildResult result =
                cvnhost({"encode", "--quiet", "--manifest", file("lib.jsonl"), "--out-dir", file(run),
                         "--shard", shard, "--report", report});
            const bool hasMissingInput = readText(report).find("t6.wav") != std::string::npos;
            EXPECT_EQ(result.exitStatus, hasMissingInput ? 1 : 0) << shard << ": " << result.errors;
        }
    }
    std::set<std::string> shardLines = reportWithoutSeconds(file("shards-1.jsonl"));
    const std::set<std::string> second = reportWithoutSeconds(file("shards-2.jsonl"));
    EXPECT_FALSE(shardLines.empty());
    EXPECT_FALSE(second.empty());
    const size_t firstCount = shardLines.size();
    shardLines.insert(second.begin(), second.end());
    EXPECT_EQ(shardLines.size(), firstCount + second.size()) << "no track in both shards";
    std::set<std::string> oneRun;
    for (const std::string& line : reportWithoutSeconds(file("one-1.jsonl"))) {
        std::string inShards = line;
        for (size_t at; (at = inShards.find("/one/")) != std::string::npos;) {
            inShards.replace(at, 5, "/shards/");
        }
        oneRun.insert(inShards);
    }
    EXPECT_EQ(shardLines, oneRun);
    EXPECT_NE(readText(file("one-1.jsonl")).find("\"status\":\"failed\",\"cause\":\"cannot be read"),
              std::string::npos);
    EXPECT_EQ(readId3v2WithMutagen(file("shards/t3.mp3"))["TIT2"], "Title 3");
}

TEST_F(CvnhostTest, BadInputsFailClearlyAndTheRestOfTheBatchIsEncoded) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("good.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 1.0}));
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("six.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 6, 0.5}));
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("mono.flac"), {"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 1, 1.0}));
    std::vector<uint8_t> whole = readFileBytes(file("good.wav"));
    std::ofstream(file("truncated.wav"), std::ios::binary)
        .write(reinterpret_cast<const char*>(whole.data()), static_cast<std::streamsize>(whole.size() / 2));
    std::ofstream(file("empty.wav"));
    std::ofstream(file("text.wav")) << "not audio\n";
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"truncated.wav", "is truncated"},
        {"empty.wav", "is empty"},
        {"text.wav", "is not audio"},
        {"missing.wav", "cannot be read: No such file"},
    };
    std::vector<std::string> arguments = {"encode",         "--jobs",       "2", "--out-dir", file("out"),
                                          file("good.wav"), file("six.wav")};
    for (const auto& [name, cause] : bad) {
        arguments.push_back(file(name));
    }
    arguments.push_back(file("mono.flac"));
    const ChildResult result = cvnhost(arguments);
    EXPECT_EQ(result.exitStatus, 1) << "signal " << result.signal;
    for (const auto& [name, cause] : bad) {
        EXPECT_NE(result.errors.find(name + ": " + cause), std::string::npos) << result.errors;
    }
    for (const char* good : {"out/good.mp3", "out/mono.mp3", "out/six.mp3"}) {
        EXPECT_TRUE(decodeWithMpg123(file(good)).ok);
    }
    EXPECT_EQ(readWithMutagen({file("out/six.mp3")})[0].channels, 2) << "six channels folded to stereo";
    EXPECT_NE(result.errors.find("3 of 7 track(s) encoded"), std::string::npos) << result.errors;
}

// More tracks at once than the encoder library once held streams for.
TEST_F(CvnhostTest, ManyJobsAtOnceAllSucceed) {
    std::vector<std::string> arguments = {"encode", "--quiet", "--jobs", "100", "--out-dir", file("out")};
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.3}));
    for (int i = 0; i < 80; ++i) {
        const std::string name = file("t" + std::to_string(i) + ".wav");
        std::filesystem::copy_file(file("in.wav"), name);
        arguments.push_back(name);
    }
    const ChildResult result = cvnhost(arguments);
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(namesIn(file("out")).size(), 80u);
}

// Ctrl-C in the middle of a batch leaves the finished tracks in place and no other file; the next
// run encodes exactly those that were not finished.
TEST_F(CvnhostTest, ARerunAfterAnInterruptedBatchEncodesWhatWasNotFinished) {
    std::filesystem::create_directory(file("in"));
    // A short first track, then long ones: the batch is still running when the first is done.
    const size_t tracks = 6;
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in/t1.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 1.0}));
    for (size_t i = 2; i <= tracks; ++i) {
        writeSilentWav(file("in/t" + std::to_string(i) + ".wav"), 40);
    }
    const std::vector<std::string> arguments = {"encode",    "--jobs",    "1",
                                                "--out-dir", file("out"), file("in")};
    Child child(CVN_HOST_PROGRAM, arguments);
    for (int wait = 0; wait < 2000 && !std::filesystem::exists(file("out/t1.mp3")); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(child.pid(), SIGINT);
    ASSERT_EQ(child.wait().exitStatus, 130);
    const std::vector<std::string> finished = namesIn(file("out"));
    ASSERT_FALSE(finished.empty());
    ASSERT_LT(finished.size(), tracks) << "the batch was stopped before its end";
    for (const std::string& name : finished) {
        EXPECT_TRUE(decodeWithMpg123(file("out/" + name)).ok) << name << ": only whole files stay";
    }
    const ChildResult rerun = cvnhost(arguments);
    ASSERT_EQ(rerun.exitStatus, 0) << rerun.errors;
    const size_t missing = tracks - finished.size();
    EXPECT_NE(rerun.errors.find(std::to_string(missing) + " encoded as 128 kbit/s, stereo; " +
                                std::to_string(finished.size()) + " skipped: exists"),
              std::string::npos)
        << rerun.errors;
    EXPECT_EQ(namesIn(file("out")).size(), tracks);
}

} // namespace
} // namespace cvn::test
