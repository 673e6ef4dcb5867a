// What a failure or a signal leaves: the old output as it was, no file cut short under its name,
// and messages that tell the truth.
#include "support/audio_tools.h"
#include "support/child_process.h"
#include "support/mp3_frames.h"
#include "support/temporary_directory.h"
#include "cvnhost_fixture.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace cvn::test {
namespace {

constexpr int kMp3FrameSamples = 1152;

// A good output stays as it was unless an encode succeeds: a failed input, a full disk while the
// plug-in writes, a full disk while the ID3v2 tag is added. No temporary file is left behind.
TEST_F(CvnhostTest, AFailedEncodeLeavesTheOldOutputAsItWas) {
    std::filesystem::create_directory(file("work"));
    const std::string input = file("work/in.wav");
    const std::string output = file("work/out.mp3");
    ASSERT_NO_FATAL_FAILURE(writeAudio(input, {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 1.0}));
    writeText(file("work/corrupt.flac"), "fLaC but nothing else");
    ASSERT_EQ(cvnhost({"encode", "--overwrite", "--no-id3v2", input, output}).exitStatus, 0);
    const size_t untagged = readFileBytes(output).size();
    struct Case {
        const char* what;
        size_t fileLimit; // 0: none
        std::vector<std::string> arguments;
        std::string cause;
    };
    const size_t block = 512;
    const std::vector<Case> cases = {
        {"an input that cannot be read",
         0,
         {"encode", "--overwrite", file("work/corrupt.flac"), output},
         "is not audio"},
        {"a full disk while the plug-in writes",
         4 * block,
         {"encode", "--overwrite", input, output},
         "result 4"},
        {"a full disk while the ID3v2 tag is added",
         (untagged + block - 1) / block * block,
         {"encode", "--overwrite", "--title", "T", input, output},
         "was damaged while its ID3v2 tag was written"},
    };
    for (const Case& c : cases) {
        writeText(output, "the user's old file\n");
        const ChildResult result =
            c.fileLimit == 0 ? cvnhost(c.arguments) : cvnhostWithFileLimit(c.fileLimit, c.arguments);
        EXPECT_EQ(result.exitStatus, 1) << c.what << ": " << result.errors;
        EXPECT_NE(result.errors.find(c.cause), std::string::npos) << c.what << ": " << result.errors;
        EXPECT_EQ(readText(output), "the user's old file\n") << c.what;
        EXPECT_EQ(namesIn(file("work")), (std::vector<std::string>{"corrupt.flac", "in.wav", "out.mp3"}))
            << c.what;
    }
}

// A signal while a track is encoded: the old output stays, no file cut short takes its place, and
// the temporary file is removed, kept as .partial on request, or (after SIGKILL) removed by the
// next run. The input is an hour long, so the encode is still running when the signal comes.
TEST_F(CvnhostTest, SignalsLeaveTheOldOutputAndNoPartialFileUnderItsName) {
    std::filesystem::create_directory(file("work"));
    const std::string input = file("work/long.wav");
    const std::string output = file("work/out.mp3");
    writeSilentWav(input, 3600);
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("short.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 1.0}));
    struct Case {
        int signal;
        std::vector<std::string> options;
        std::vector<std::string> namesAfter;
    };
    const std::vector<std::string> untouched = {"long.wav", "out.mp3"};
    const std::vector<Case> cases = {
        {SIGINT, {}, untouched},
        {SIGTERM, {}, untouched},
        {SIGHUP, {}, untouched},
        {SIGPIPE, {}, untouched},
        {SIGINT, {"--keep-partial"}, {"long.wav", "out.mp3", "out.partial.mp3"}},
        {SIGKILL, {}, {}},
    };
    for (const Case& c : cases) {
        writeText(output, "the user's old file\n");
        std::filesystem::remove(file("work/out.partial.mp3"));
        std::vector<std::string> arguments = {"encode", "--overwrite", input, output};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        Child child(CVN_HOST_PROGRAM, arguments);
        // Waits until the plug-in has written some of the temporary file.
        bool written = false;
        for (int wait = 0; wait < 6000 && !written; ++wait) {
            const std::vector<std::string> names = namesIn(file("work"));
            const auto temporary = std::find_if(names.begin(), names.end(), [](const std::string& name) {
                return name.rfind(".out.mp3.cvnhost-", 0) == 0;
            });
            // Its size, not its bytes: reading a file the encoder is writing chases it to its end.
            std::error_code sizeError;
            written = temporary != names.end() &&
                      std::filesystem::file_size(file("work/" + *temporary), sizeError) > 20000 && !sizeError;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        kill(child.pid(), c.signal);
        const ChildResult result = child.wait();
        ASSERT_TRUE(written) << strsignal(c.signal) << ": " << result.errors;
        EXPECT_EQ(readText(output), "the user's old file\n") << strsignal(c.signal);
        if (c.signal == SIGKILL) {
            EXPECT_EQ(result.signal, SIGKILL);
            EXPECT_EQ(namesIn(file("work")).size(), 3u) << "the temporary file stays behind";
            ASSERT_EQ(cvnhost({"encode", "--overwrite", "--quiet", file("short.wav"), output}).exitStatus, 0);
            EXPECT_EQ(namesIn(file("work")), untouched) << "the next run removes it";
            EXPECT_TRUE(decodeWithMpg123(output).ok);
            continue;
        }
        EXPECT_EQ(result.exitStatus, 130) << strsignal(c.signal) << ": " << result.errors;
        EXPECT_NE(result.errors.find("cut short"), std::string::npos) << result.errors;
        EXPECT_EQ(namesIn(file("work")), c.namesAfter) << strsignal(c.signal);
        if (!c.options.empty()) {
            EXPECT_TRUE(decodeWithMpg123(file("work/out.partial.mp3")).ok);
        }
    }
}

// The seconds until a child ends, counted up to `limit`.
double secondsUntilEnd(pid_t pid, double limit) {
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    while (elapsed() < limit) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string pidText, name, state;
        stat >> pidText >> name >> state;
        if (!stat || state == "Z") {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return elapsed();
}

// A stop while standard input is copied and its writer sends nothing more (it stays for 20 s):
// cvnhost ends within 3 s, as a stop, and leaves neither the copy nor an output.
TEST_F(CvnhostTest, AStopEndsTheCopyOfASilentStandardInput) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.5}));
    const uintmax_t wavSize = std::filesystem::file_size(file("in.wav"));
    std::filesystem::create_directory(file("tmp"));
    ASSERT_EQ(mkfifo(file("pipe").c_str(), 0600), 0);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        setenv("TMPDIR", file("tmp").c_str(), 1);
        Child encode("/bin/sh", {"-c", "exec \"$0\" encode - \"$1\" < \"$2\"", CVN_HOST_PROGRAM,
                                 file("out.mp3"), file("pipe")});
        unsetenv("TMPDIR");
        Child writer("/bin/sh",
                     {"-c", "exec > \"$0\"; cat \"$1\"; exec sleep 20", file("pipe"), file("in.wav")});
        // The stop comes once all there is has been copied, while the copy waits for more.
        bool copied = false;
        for (int wait = 0; wait < 2000 && !copied; ++wait) {
            const std::vector<std::string> names = namesIn(file("tmp"));
            std::error_code sizeError;
            copied = names.size() == 1 &&
                     std::filesystem::file_size(file("tmp/" + names[0]), sizeError) == wavSize;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_TRUE(copied) << strsignal(signal) << ": the copy of standard input did not take the file";
        kill(encode.pid(), signal);
        const double seconds = secondsUntilEnd(encode.pid(), 5);
        kill(writer.pid(), SIGKILL);
        const ChildResult result = encode.wait();
        EXPECT_LT(seconds, 3) << strsignal(signal) << ": the copy went on after the stop";
        EXPECT_EQ(result.exitStatus, 130) << strsignal(signal) << ": " << result.errors;
        EXPECT_NE(result.errors.find("standard input: not read to its end: stopped by the user"),
                  std::string::npos)
            << result.errors;
        EXPECT_TRUE(namesIn(file("tmp")).empty()) << strsignal(signal);
        EXPECT_FALSE(std::filesystem::exists(file("out.mp3"))) << strsignal(signal);
    }
}

// Inputs whose headers mislead, outputs that are no files, and errors under --quiet.
TEST_F(CvnhostTest, InputsAndOutputsAreReadAndReportedTruthfully) {
    ASSERT_NO_FATAL_FAILURE(writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 3.0},
                                       {"", "", "", "", "00012"}));
    // A WAV written to a pipe: its sizes are 0xFFFFFFFF.
    std::vector<uint8_t> piped = readFileBytes(file("in.wav"));
    const auto dataChunk = std::search(piped.begin(), piped.end(), std::begin("data"), std::end("data") - 1);
    ASSERT_NE(dataChunk, piped.end());
    for (const auto size : {piped.begin() + 4, dataChunk + 4}) {
        std::fill(size, size + 4, 0xFF);
    }
    std::ofstream(file("piped.wav"), std::ios::binary)
        .write(reinterpret_cast<const char*>(piped.data()), static_cast<std::streamsize>(piped.size()));
    // A VBR MP3 without its Xing header: libsndfile's length for it is a guess from the first frame.
    ASSERT_EQ(cvnhost({"settings", "--vbr", "2"}).exitStatus, 0);
    ASSERT_EQ(cvnhost({"encode", "--no-id3v2", file("in.wav"), file("vbr.mp3")}).exitStatus, 0);
    ASSERT_EQ(cvnhost({"settings", "--vbr", "off"}).exitStatus, 0);
    const std::vector<uint8_t> vbr = readFileBytes(file("vbr.mp3"));
    const std::vector<Mp3Frame> frames = readMp3Frames(vbr);
    ASSERT_GT(frames.size(), 2u);
    std::ofstream(file("noxing.mp3"), std::ios::binary)
        .write(reinterpret_cast<const char*>(vbr.data() + frames[1].offset),
               static_cast<std::streamsize>(vbr.size() - frames[1].offset));

    for (const char* input : {"in.wav", "piped.wav", "noxing.mp3"}) {
        const ChildResult result = cvnhost({"encode", "--overwrite", file(input), file("out.mp3")});
        EXPECT_EQ(result.exitStatus, 0) << input << ": " << result.errors;
        const DecodedAudio decoded = decodeWithMpg123(file("out.mp3"));
        EXPECT_NEAR(static_cast<double>(decoded.samples.size()) / 2, 3.0 * 44100 + kMp3FrameSamples,
                    3 * kMp3FrameSamples)
            << input;
    }
    const ChildResult tagged = cvnhost({"encode", file("in.wav"), file("tagged.mp3")});
    EXPECT_EQ(readId3v1(file("tagged.mp3")).track, 12) << "00012 is track 12";

    // A device is no place for an MP3 (- is standard output); a FIFO among the inputs is named, its tags
    // are not waited for, and the rest of the batch is encoded.
    const ChildResult toNull = cvnhost({"encode", file("in.wav"), "/dev/null"});
    EXPECT_EQ(toNull.exitStatus, 2) << toNull.errors;
    EXPECT_NE(toNull.errors.find("/dev/null: is a character device, not a regular file"), std::string::npos)
        << toNull.errors;
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    ASSERT_EQ(mkfifo(file("fifo.wav").c_str(), 0600), 0);
    const ChildResult fifo = cvnhost({"encode", "--out-dir", file("named"), "--name", "%title%",
                                      "--replaygain", "album", file("fifo.wav"), file("in.wav")});
    EXPECT_EQ(fifo.exitStatus, 1) << fifo.errors;
    EXPECT_NE(fifo.errors.find("fifo.wav: is a FIFO, not a regular file"), std::string::npos) << fifo.errors;
    EXPECT_EQ(namesIn(file("named")), std::vector<std::string>{"in.mp3"});

    const ChildResult quiet = cvnhost({"encode", "--quiet", file("missing.wav"), file("missing.mp3")});
    EXPECT_EQ(quiet.exitStatus, 1);
    EXPECT_NE(quiet.errors.find("missing.wav: cannot be read"), std::string::npos) << quiet.errors;
    const ChildResult longName = cvnhost({"encode", file("in.wav"), file(std::string(300, 'n') + ".mp3")});
    EXPECT_EQ(longName.exitStatus, 1); // the track fails alone: no later run is a usage error for it
    EXPECT_NE(
        longName.errors.find(".mp3 cannot be created: its name or path is longer than the file system takes"),
        std::string::npos)
        << longName.errors;
}

} // namespace
} // namespace cvn::test
