// CVN_WriteBuffer: chunking independent of how the host cuts its calls, the stereo copy and the
// mono mean, library errors and failed writes.
#include "support/message_boxes.h"
#include "support/stream_fixture.h"

namespace cvn::test {
namespace {

using IntakeTest = StreamTest;

TEST_F(IntakeTest, StereoChunksOfEightFromCallsOfThreeFrames) {
    fake.setStreamSizes(8, 64);
    CVN_StreamHandle handle = start(16);
    const uint32_t first[3] = {frame(1, 2), frame(3, 4), frame(5, 6)};
    const uint32_t second[3] = {frame(7, 8), frame(9, 10), frame(11, 12)};
    EXPECT_EQ(plugIn.writeBuffer(&handle, 3, first), 0);
    EXPECT_TRUE(fake.calls("beEncodeChunk").empty()) << "6 samples buffered, no chunk yet";
    EXPECT_EQ(plugIn.writeBuffer(&handle, 3, second), 0);
    EXPECT_EQ(fake.calls("beEncodeChunk"),
              (std::vector<std::string>{"beEncodeChunk stream=1 samples=8 -> 0 bytes=16"}));
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
    // The finish encodes the 2 frames (4 samples) left over.
    EXPECT_EQ(fake.calls("beEncodeChunk").back(), "beEncodeChunk stream=1 samples=4 -> 0 bytes=8");
    EXPECT_EQ(audioBytes(), echoBytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST_F(IntakeTest, MonoChunksOfFourFromOneCallOfEight) {
    fake.setStreamSizes(4, 64);
    CVN_StreamHandle handle = start(17);
    std::vector<uint32_t> frames;
    for (int16_t i = 0; i < 8; ++i) {
        frames.push_back(frame(static_cast<int16_t>(2 * i), static_cast<int16_t>(2 * i)));
    }
    EXPECT_EQ(plugIn.writeBuffer(&handle, 8, frames.data()), 0);
    EXPECT_EQ(fake.calls("beEncodeChunk").size(), 2u);
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
    EXPECT_EQ(fake.calls("beEncodeChunk").back(), "beEncodeChunk stream=1 samples=0 -> 0 bytes=0")
        << "nothing left in the buffer";
    EXPECT_EQ(audioBytes(), echoBytes({0, 2, 4, 6, 8, 10, 12, 14}));
}

TEST_F(IntakeTest, MonoMeanRoundsDownAndNeverOverflows) {
    // Thirty-seven frames in one call: the mix takes up to thirty-two frames a step where the
    // processor can, and the last ones one by one.
    fake.setStreamSizes(37, 128);
    CVN_StreamHandle handle = start(1);
    const std::vector<uint32_t> cases = {
        frame(1, 0),          frame(-1, 0),         frame(32767, 32767), frame(-32768, -32768),
        frame(32767, -32768), frame(-32768, 32767), frame(-3, -4),       frame(100, -50),
    };
    const std::vector<int16_t> means = {0, -1, 32767, -32768, -1, -1, -4, 25};
    std::vector<uint32_t> frames;
    std::vector<int16_t> expected;
    for (size_t i = 0; i < 37; ++i) {
        frames.push_back(cases[(i * 3) % cases.size()]);
        expected.push_back(means[(i * 3) % means.size()]);
    }
    EXPECT_EQ(plugIn.writeBuffer(&handle, 37, frames.data()), 0);
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
    EXPECT_EQ(audioBytes(), echoBytes(expected));
}

TEST_F(IntakeTest, StereoKeepsBothChannelsAtTheEndsOfTheRange) {
    fake.setStreamSizes(4, 64);
    CVN_StreamHandle handle = start(0);
    const uint32_t frames[2] = {frame(-32768, 32767), frame(32767, -32768)};
    EXPECT_EQ(plugIn.writeBuffer(&handle, 2, frames), 0);
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
    EXPECT_EQ(audioBytes(), echoBytes({-32768, 32767, 32767, -32768}));
}

// The same frames in one call and in calls of every size from 1 to 7 give the same file.
TEST_F(IntakeTest, FileDoesNotDependOnHowTheHostCutsItsCalls) {
    fake.setStreamSizes(10, 64);
    std::vector<uint32_t> frames;
    for (int i = 0; i < 97; ++i) {
        frames.push_back(frame(static_cast<int16_t>(i * 331), static_cast<int16_t>(-i * 17)));
    }
    for (int32_t format : {16, 17}) {
        CVN_StreamHandle handle = start(format);
        EXPECT_EQ(plugIn.writeBuffer(&handle, static_cast<int32_t>(frames.size()), frames.data()), 0);
        EXPECT_EQ(plugIn.closeStream(&handle), 0);
        const std::vector<uint8_t> whole = output();
        for (size_t callSize = 1; callSize <= 7; ++callSize) {
            handle = start(format);
            for (size_t offset = 0; offset < frames.size(); offset += callSize) {
                const size_t count = std::min(callSize, frames.size() - offset);
                ASSERT_EQ(plugIn.writeBuffer(&handle, static_cast<int32_t>(count), frames.data() + offset),
                          0);
            }
            EXPECT_EQ(plugIn.closeStream(&handle), 0);
            EXPECT_EQ(output(), whole) << "format " << format << ", calls of " << callSize;
        }
    }
}

TEST_F(IntakeTest, FailedChunkWaitsAndIsEncodedFirstByTheNextCall) {
    MessageBoxes boxes;
    fake.setStreamSizes(4, 64);
    CVN_StreamHandle handle = start(16);
    fake.queueResult("beEncodeChunk", 3);
    const uint32_t frames[3] = {frame(1, 2), frame(3, 4), frame(5, 6)};
    EXPECT_EQ(plugIn.writeBuffer(&handle, 3, frames), 4);
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"No more Handles"}));
    EXPECT_EQ(fake.calls("beEncodeChunk").size(), 1u) << "the third frame was not taken in";

    const uint32_t next[1] = {frame(7, 8)};
    EXPECT_EQ(plugIn.writeBuffer(&handle, 1, next), 0);
    const std::vector<std::string> encodes = fake.calls("beEncodeChunk");
    ASSERT_EQ(encodes.size(), 2u);
    EXPECT_EQ(encodes[1], "beEncodeChunk stream=1 samples=4 -> 0 bytes=8") << "the waiting chunk, first";
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
    EXPECT_EQ(audioBytes(), echoBytes({1, 2, 3, 4, 7, 8}));
}

TEST_F(IntakeTest, EveryLibraryErrorCodeShowsItsText) {
    MessageBoxes boxes;
    fake.setStreamSizes(2, 64);
    CVN_StreamHandle handle = start(16);
    const uint32_t one[1] = {frame(1, 1)};
    for (uint32_t code : {1u, 2u, 3u, 4u, 5u, 0xFFFFFFFFu}) {
        fake.queueResult("beEncodeChunk", code);
        EXPECT_EQ(plugIn.writeBuffer(&handle, 1, one), 4) << code;
    }
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"Invalid Format", "Invalid Format Parameters",
                                                       "No more Handles", "Invalid Handle",
                                                       "Unknown BladeEnc Error", "Unknown BladeEnc Error"}));
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
}

TEST_F(IntakeTest, CallsThatTakeNothing) {
    MessageBoxes boxes;
    fake.setStreamSizes(2, 64);
    CVN_StreamHandle handle = start(16);
    const uint32_t frames[1] = {frame(1, 1)};
    EXPECT_EQ(plugIn.writeBuffer(&handle, -5, frames), 0);
    EXPECT_EQ(plugIn.writeBuffer(&handle, 0, frames), 0);
    EXPECT_EQ(plugIn.writeBuffer(&handle, 3, nullptr), 4) << "a null pointer with frames to take";
    EXPECT_TRUE(fake.calls("beEncodeChunk").empty());
    EXPECT_TRUE(boxes.texts().empty());
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
}

TEST_F(IntakeTest, ChunkWithNoBytesWritesNothing) {
    fake.setStreamSizes(2, 64);
    CVN_StreamHandle handle = start(16);
    fake.queueOutput("beEncodeChunk", {});
    const uint32_t frames[1] = {frame(9, 9)};
    EXPECT_EQ(plugIn.writeBuffer(&handle, 1, frames), 0);
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
    EXPECT_EQ(output().size(), 128u) << "only the tag";
}

TEST_F(IntakeTest, ByteCountBeyondTheOutputBufferIsAFailedWrite) {
    MessageBoxes boxes;
    fake.setStreamSizes(2, 16);
    CVN_StreamHandle handle = start(16);
    fake.queueOutput("beEncodeChunk", std::vector<uint8_t>(16, 0x55), 17);
    const uint32_t frames[1] = {frame(1, 1)};
    EXPECT_EQ(plugIn.writeBuffer(&handle, 1, frames), 4);
    EXPECT_TRUE(boxes.texts().empty()) << "a write failure has no message";
    // No byte of the bad chunk was written, and the chunk is not handed over again: the library
    // consumed it. The file lacks it, so it is not complete.
    EXPECT_EQ(plugIn.closeStream(&handle), 4);
    EXPECT_TRUE(audioBytes().empty());
    EXPECT_EQ(fake.calls("beEncodeChunk").size(), 2u) << "the chunk, then the finish's empty one";
}

TEST_F(IntakeTest, HandleOfAnotherPlugInNumberIsRefused) {
    MessageBoxes boxes;
    // What the host's variable points at must start with plug-in number 0.
    int32_t notAStream[64] = {1};
    CVN_StreamHandle handle = notAStream;
    const uint32_t frames[1] = {frame(1, 1)};
    EXPECT_EQ(plugIn.writeBuffer(&handle, 1, frames), 4);
    EXPECT_EQ(plugIn.closeStream(&handle), 1);
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"Invalid PlugIn Number"}));
    EXPECT_TRUE(fake.log().empty());
}

} // namespace
} // namespace cvn::test
