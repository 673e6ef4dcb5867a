// The stream's lifecycle, driven directly: operations outside the open state fail and touch
// neither the library nor the file, and the invariants hold after every operation.
#include "stream/encoder_stream.h"
#include "support/fake_encoder.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>

namespace cvn::test {

using namespace velmora;
namespace {

TEST(EncoderStreamState, OnlyAnOpenStreamWritesOrFinishes) {
    FakeEncoder fake;
    ASSERT_NO_FATAL_FAILURE(fake.load());
    fake.setStreamSizes(4, 64);
    EncoderLibrary library;
    ASSERT_EQ(bindEncoderLibrary(library), 1);
    TemporaryDirectory directory;
    const std::string path = directory.file("state.mp3");
    CVN_TrackInfo track{};
    track.size = sizeof track;
    const uint32_t frames[3] = {1, 2, 3};

    EncoderStream stream(library, 16);
    EXPECT_EQ(stream.write(3, frames), CVN_STREAM_FAILED) << "not set up";
    EXPECT_EQ(stream.finish(), CVN_STREAM_FAILED) << "not set up";
    EXPECT_TRUE(fake.log().empty());

    ASSERT_TRUE(stream.setup({path.c_str(), 16, nullptr, &track}));
    EXPECT_EQ(stream.state(), EncoderStream::State::Open);
    EXPECT_FALSE(stream.setup({path.c_str(), 16, nullptr, &track})) << "set up twice";
    EXPECT_EQ(stream.write(3, frames), CVN_STREAM_SUCCEEDED);
    EXPECT_TRUE(stream.invariantsHold());
    EXPECT_EQ(stream.finish(), CVN_STREAM_SUCCEEDED);
    EXPECT_EQ(stream.state(), EncoderStream::State::Finished);

    const std::vector<uint8_t> file = readFileBytes(path);
    const size_t calls = fake.log().size();
    EXPECT_EQ(stream.finish(), CVN_STREAM_FAILED) << "finished twice";
    EXPECT_EQ(stream.write(3, frames), CVN_STREAM_FAILED) << "written after the finish";
    EXPECT_EQ(fake.log().size(), calls);
    EXPECT_EQ(readFileBytes(path), file);
    EXPECT_TRUE(stream.invariantsHold());
    EXPECT_EQ(fake.openStreams(), 0);

    releaseEncoderLibrary(library);
    fake.unload();
}

} // namespace
} // namespace cvn::test
