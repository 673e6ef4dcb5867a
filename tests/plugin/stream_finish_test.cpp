// CVN_CloseStream: every step runs in order whatever failed before, and the result tells whether
// the file is complete.
#include "support/message_boxes.h"
#include "support/stream_fixture.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace cvn::test {
namespace {

using FinishTest = StreamTest;

const std::vector<uint8_t> kFlushBytes = {'F', 'L', 'U', 'S', 'H'};

// The lines of the log from the finish's first call on.
std::vector<std::string> finishCalls(const FakeEncoder& fake, size_t callsBefore) {
    const std::vector<std::string> log = fake.log();
    return std::vector<std::string>(log.begin() + static_cast<std::ptrdiff_t>(callsBefore), log.end());
}

TEST_F(FinishTest, StreamClosedRightAfterSetup) {
    CVN_StreamHandle handle = start(16);
    const size_t before = fake.log().size();
    fake.queueOutput("beDeinitStream", kFlushBytes);
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
    EXPECT_EQ(finishCalls(fake, before), (std::vector<std::string>{
                                             "beEncodeChunk stream=1 samples=0 -> 0 bytes=0",
                                             "beDeinitStream stream=1 -> 0 bytes=5",
                                             "beCloseStream stream=1 -> 0",
                                         }));
    EXPECT_EQ(audioBytes(), kFlushBytes);
    EXPECT_EQ(fake.openStreams(), 0);
}

TEST_F(FinishTest, WaitingSamplesThenFlushThenTag) {
    CVN_StreamHandle handle = start(16, trackInfo("T", "Al", "Ar", "Jazz", 4));
    std::vector<uint32_t> frames(150);
    std::vector<int16_t> samples;
    for (size_t i = 0; i < frames.size(); ++i) {
        frames[i] = frame(static_cast<int16_t>(i), static_cast<int16_t>(-static_cast<int>(i)));
        samples.push_back(static_cast<int16_t>(i));
        samples.push_back(static_cast<int16_t>(-static_cast<int>(i)));
    }
    ASSERT_EQ(plugIn.writeBuffer(&handle, 150, frames.data()), 0);
    fake.queueOutput("beDeinitStream", kFlushBytes);
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
    EXPECT_EQ(fake.calls("beEncodeChunk"),
              (std::vector<std::string>{"beEncodeChunk stream=1 samples=300 -> 0 bytes=600"}));
    std::vector<uint8_t> expected = echoBytes(samples);
    append(expected, kFlushBytes);
    EXPECT_EQ(audioBytes(), expected);
    const std::vector<uint8_t> file = output();
    ASSERT_EQ(file.size(), expected.size() + 128);
    EXPECT_EQ(std::string(file.end() - 128, file.end() - 125), "TAG");
    EXPECT_EQ(file[file.size() - 2], 5) << "track byte 4 is track 5";
    EXPECT_EQ(file[file.size() - 1], 8) << "Jazz";
}

TEST_F(FinishTest, FlushWithNoBytesWritesNothing) {
    CVN_StreamHandle handle = start(16);
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
    EXPECT_EQ(output().size(), 128u);
}

TEST_F(FinishTest, FailedLastChunkSkipsTheFlushButNothingElse) {
    settings.set("VBR", 2);
    CVN_StreamHandle handle = start(16);
    const size_t before = fake.log().size();
    fake.queueResult("beEncodeChunk", 2);
    EXPECT_EQ(plugIn.closeStream(&handle), 4);
    const std::vector<std::string> calls = finishCalls(fake, before);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], "beEncodeChunk stream=1 samples=0 -> 2 bytes=0");
    EXPECT_EQ(calls[1], "beCloseStream stream=1 -> 0");
    EXPECT_EQ(calls[2], "beWriteVBRHeader path=" + outputPath() + " size=128 -> 0");
    EXPECT_EQ(output().size(), 128u) << "the tag is still written";
    EXPECT_EQ(fake.openStreams(), 0);
}

TEST_F(FinishTest, LostBytesOfTheLastChunkStillDrainTheEncoder) {
    fake.setStreamSizes(2304, 16);
    CVN_StreamHandle handle = start(16);
    fake.queueOutput("beEncodeChunk", std::vector<uint8_t>(16, 1), 1000); // more than the buffer
    fake.queueOutput("beDeinitStream", kFlushBytes);
    EXPECT_EQ(plugIn.closeStream(&handle), 4);
    EXPECT_EQ(fake.calls("beDeinitStream").size(), 1u);
    EXPECT_EQ(audioBytes(), kFlushBytes);
}

TEST_F(FinishTest, FailedFlushOrCloseGivesFourWithTheTagWritten) {
    for (const char* failing : {"beDeinitStream", "beCloseStream"}) {
        CVN_StreamHandle handle = start(16);
        fake.queueResult(failing, 1);
        EXPECT_EQ(plugIn.closeStream(&handle), 4) << failing;
        EXPECT_EQ(output().size(), 128u) << failing;
        EXPECT_EQ(fake.openStreams(), 0) << failing;
    }
}

TEST_F(FinishTest, VbrHeaderIsRequestedOnceAfterTheFileIsClosed) {
    settings.set("VBR", 1);
    CVN_StreamHandle handle = start(17);
    fake.queueOutput("beDeinitStream", kFlushBytes);
    fake.queueResult("beWriteVBRHeader", 1); // its failure does not matter
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
    // The size the library saw is the whole file: flushed and closed before the call.
    EXPECT_EQ(fake.calls("beWriteVBRHeader"),
              (std::vector<std::string>{"beWriteVBRHeader path=" + outputPath() + " size=133 -> 1"}));
    EXPECT_EQ(fake.log().back().rfind("beWriteVBRHeader", 0), 0u) << "the last call of all";
}

TEST_F(FinishTest, NullHandleIsRefusedSilently) {
    MessageBoxes boxes;
    CVN_StreamHandle empty = nullptr;
    EXPECT_EQ(plugIn.closeStream(&empty), 1);
    EXPECT_TRUE(boxes.texts().empty());
    EXPECT_TRUE(fake.log().empty());
}

TEST_F(FinishTest, StreamsAreIndependent) {
    fake.setStreamSizes(2, 64);
    CVN_StreamHandle first = start(16);
    CVN_StreamHandle second = nullptr;
    const CVN_TrackInfo track = trackInfo("Second", "", "", "", 1);
    const std::string secondPath = directory.file("second.mp3");
    ASSERT_EQ(plugIn.initStream(secondPath.c_str(), 0, 17, settings.handle(), &track, &second), 0);
    const uint32_t frames[2] = {frame(10, 20), frame(30, 50)};
    EXPECT_EQ(plugIn.writeBuffer(&first, 2, frames), 0);
    EXPECT_EQ(plugIn.writeBuffer(&second, 2, frames), 0);
    EXPECT_EQ(plugIn.closeStream(&second), 0);
    EXPECT_EQ(plugIn.closeStream(&first), 0);
    EXPECT_EQ(audioBytes(), echoBytes({10, 20, 30, 50}));
    std::vector<uint8_t> secondFile = readFileBytes(secondPath);
    secondFile.resize(secondFile.size() - 128);
    EXPECT_EQ(secondFile, echoBytes({15, 40}));
}

#ifndef _WIN32
// A full disk shows when the file is closed: the bytes held in the file's buffer cannot go out.
// The encode runs in a child process whose file size limit stands for the full disk.
TEST_F(FinishTest, FullDiskAtCloseGivesFourAndKeepsTheFile) {
    settings.set("VBR", 1);
    CVN_StreamHandle handle = start(16);
    fake.queueOutput("beDeinitStream", std::vector<uint8_t>(1000, 7));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{512, 512};
        setrlimit(RLIMIT_FSIZE, &limit);
        const int result = plugIn.closeStream(&handle);
        const bool vbrRequested = fake.calls("beWriteVBRHeader").size() == 1;
        _exit(result * 10 + (vbrRequested ? 1 : 0));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 41) << "result 4, and the VBR header still requested";
    EXPECT_TRUE(fileExists(outputPath()));
    EXPECT_EQ(output().size(), 512u) << "what fitted stays on disk";
    // The parent's copy of the stream is finished too, so the fake's count stays right.
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
}

// A full disk that clears again: the write of one chunk fails, later ones succeed. The failed
// chunk is lost once, not handed to the library a second time, and the close reports the file
// incomplete.
TEST_F(FinishTest, LostWriteIsReportedAndItsChunkNotEncodedTwice) {
    fake.setStreamSizes(4096, 8192); // each chunk echoes 8192 bytes, more than the file's buffer
    CVN_StreamHandle handle = start(16);
    std::vector<std::vector<uint32_t>> chunks(3);
    std::vector<int16_t> expected;
    for (size_t c = 0; c < chunks.size(); ++c) {
        for (int16_t i = 0; i < 2048; ++i) {
            const auto value = static_cast<int16_t>(c * 4096 + static_cast<size_t>(i));
            chunks[c].push_back(frame(value, static_cast<int16_t>(-value)));
            if (c != 1) {
                expected.push_back(value);
                expected.push_back(static_cast<int16_t>(-value));
            }
        }
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const int first = plugIn.writeBuffer(&handle, 2048, chunks[0].data());
        struct stat written {};
        stat(outputPath().c_str(), &written);
        const rlimit full{static_cast<rlim_t>(written.st_size), RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &full);
        const int lost = plugIn.writeBuffer(&handle, 2048, chunks[1].data());
        const rlimit cleared{RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &cleared);
        const int third = plugIn.writeBuffer(&handle, 2048, chunks[2].data());
        const int close = plugIn.closeStream(&handle);
        // One bit for each result that is not the expected one.
        _exit((first != 0 ? 1 : 0) | (lost != 4 ? 2 : 0) | (third != 0 ? 4 : 0) | (close != 4 ? 8 : 0));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "bits of the results that differ from: writes 0, 4, 0; close 4";
    EXPECT_EQ(audioBytes(), echoBytes(expected)) << "the lost chunk neither in the file nor repeated";
    plugIn.closeStream(&handle); // the parent's copy of the stream
}
#endif

} // namespace
} // namespace cvn::test
