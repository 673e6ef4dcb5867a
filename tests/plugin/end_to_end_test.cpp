// The plug-in with the real encoder library, as installed side by side: files that real decoders
// and tag readers accept.
#include "support/audio_tools.h"
#include "support/mp3_frames.h"
#include "support/plugin_under_test.h"
#include "support/settings_key.h"
#include "support/stream_fixture.h"
#include "support/temporary_directory.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace cvn::test {
namespace {

const uint16_t kBitrates[14] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

class EndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // No SetDllDirectoryA, no environment: the plug-in finds the library beside itself.
        SetDllDirectoryA(nullptr);
        ASSERT_NO_FATAL_FAILURE(plugIn.load(joinPath(CVN_ENCODER_LIBRARY_DIRECTORY, "VelmoraPlugIn.so")));
        ASSERT_EQ(plugIn.initPlugInDLL(), 1);
    }
    void TearDown() override {
        plugIn.closePlugInDLL();
        plugIn.unload();
    }

    // Encodes the frames through the plug-in into `name`, in calls of 1000 frames; returns the path.
    std::string encode(const std::string& name, int32_t formatIndex, const std::vector<uint32_t>& frames,
                       const CVN_TrackInfo& track = trackInfo("Velmora", "Tests", "cvnhost", "Rock", 2)) {
        const std::string path = directory.file(name);
        CVN_StreamHandle handle = nullptr;
        EXPECT_EQ(plugIn.initStream(path.c_str(), 0, formatIndex, settings.handle(), &track, &handle), 0);
        for (size_t at = 0; at < frames.size(); at += 1000) {
            const auto count = static_cast<int32_t>(std::min<size_t>(1000, frames.size() - at));
            EXPECT_EQ(plugIn.writeBuffer(&handle, count, frames.data() + at), 0);
        }
        EXPECT_EQ(plugIn.closeStream(&handle), 0);
        return path;
    }

    PlugIn plugIn;
    SettingsKey settings;
    TemporaryDirectory directory;
};

// Every format, with a signal that differs between the channels and with one that does not.
TEST_F(EndToEndTest, EveryFormatDecodesWithItsChannelsAndLength) {
    const size_t inputFrames = 44100 + 12345;
    const double inputSeconds = static_cast<double>(inputFrames) / 44100;
    std::vector<std::string> paths;
    std::vector<int32_t> formats;
    for (bool monoSignal : {false, true}) {
        const std::vector<uint32_t> signal = testSignal(inputFrames, monoSignal);
        for (int32_t index = 0; index < 28; ++index) {
            paths.push_back(
                encode("f" + std::to_string(index) + (monoSignal ? "m" : "s") + ".mp3", index, signal));
            formats.push_back(index);
        }
    }
    const std::vector<StreamFacts> facts = readWithMutagen(paths);
    ASSERT_EQ(facts.size(), paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        const int expectedChannels = formats[i] % 2 == 0 ? 2 : 1;
        EXPECT_EQ(facts[i].channels, expectedChannels) << paths[i];
        const DecodedAudio decoded = decodeWithMpg123(paths[i]);
        EXPECT_TRUE(decoded.ok) << paths[i] << ": " << decoded.messages;
        const std::vector<uint8_t> bytes = readFileBytes(paths[i]);
        const std::vector<Mp3Frame> frames = readMp3Frames(bytes);
        ASSERT_FALSE(frames.empty()) << paths[i];
        EXPECT_EQ(frames[0].bitrate, kBitrates[formats[i] / 2]) << paths[i];
        const double rate = frames[0].sampleRate;
        const double decodedSeconds = static_cast<double>(decoded.samples.size()) / expectedChannels / rate;
        // One frame, plus the encoder's delay of 576 + 529 samples and the decoder's of 529, plus
        // the header frame that stays silent at a constant bitrate: the plug-in asks for it to be
        // completed only with VBR on.
        const double tolerance = (2 * frames[0].samples() + 1105 + 529) / rate;
        EXPECT_NEAR(decodedSeconds, inputSeconds, tolerance) << paths[i];
        EXPECT_GE(decodedSeconds, inputSeconds - 1.0 / rate) << "nothing of the input lost: " << paths[i];
        EXPECT_EQ(std::string(bytes.end() - 128, bytes.end() - 125), "TAG") << paths[i];
    }
}

// The decoded tone, at the delay where it matches best, against the input.
double bestCorrelation(const std::vector<int16_t>& decoded, const std::vector<uint32_t>& input) {
    double best = 0;
    const size_t window = 20000;
    for (size_t lag = 0; lag < 3000 && lag + window < decoded.size(); ++lag) {
        double sumXY = 0, sumXX = 0, sumYY = 0;
        for (size_t i = 0; i < window; ++i) {
            const double x = static_cast<int16_t>(input[i + 5000] & 0xFFFF);
            const double y = decoded[i + 5000 + lag];
            sumXY += x * y;
            sumXX += x * x;
            sumYY += y * y;
        }
        best = std::max(best, sumXY / std::sqrt(sumXX * sumYY));
    }
    return best;
}

TEST_F(EndToEndTest, ToneAt128KbitsSurvivesTheRoundTrip) {
    const std::vector<uint32_t> input = tone(1000, 2 * 44100, 12000);
    const DecodedAudio decoded = decodeWithMpg123(encode("tone.mp3", 17, input));
    ASSERT_TRUE(decoded.ok) << decoded.messages;
    EXPECT_GT(bestCorrelation(decoded.samples, input), 0.9);
}

TEST_F(EndToEndTest, HeaderBitsFollowTheSettings) {
    const std::vector<uint32_t> signal = testSignal(20000, false);
    for (uint32_t on : {0u, 1u}) {
        for (const char* name : {"CRC", "Copyright", "Original", "Private"}) {
            settings.set(name, on);
        }
        const std::vector<uint8_t> bytes =
            readFileBytes(encode("bits" + std::to_string(on) + ".mp3", 16, signal));
        const std::vector<Mp3Frame> frames = readMp3Frames(bytes);
        ASSERT_GT(frames.size(), 10u);
        for (const Mp3Frame& frame : frames) {
            ASSERT_EQ(frame.crc, on == 1) << "frame at " << frame.offset;
            ASSERT_EQ(frame.copyright, on == 1) << "frame at " << frame.offset;
            ASSERT_EQ(frame.original, on == 1) << "frame at " << frame.offset;
            ASSERT_EQ(frame.privateBit, on == 1) << "frame at " << frame.offset;
            ASSERT_EQ(frame.channelMode, 1) << "joint stereo by default";
        }
    }
    settings.set("StereoMode", 1);
    const std::vector<Mp3Frame> frames = readMp3Frames(readFileBytes(encode("stereo.mp3", 16, signal)));
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames[0].channelMode, 0);
}

TEST_F(EndToEndTest, VbrFileHasAHeaderThatReadersBelieve) {
    settings.set("VBR", 5);
    const size_t inputFrames = 3 * 44100;
    const std::string path = encode("vbr.mp3", 8, testSignal(inputFrames, false));
    const std::vector<uint8_t> bytes = readFileBytes(path);
    const std::vector<Mp3Frame> frames = readMp3Frames(bytes);
    ASSERT_GT(frames.size(), 2u);
    const std::optional<VbrHeader> header = readVbrHeader(bytes, frames[0]);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->tag, "Xing");
    ASSERT_TRUE(header->frames);
    EXPECT_EQ(*header->frames, frames.size() - 1);
    const std::vector<StreamFacts> facts = readWithMutagen({path});
    ASSERT_EQ(facts.size(), 1u);
    EXPECT_NEAR(facts[0].seconds, 3.0, 0.1);
    const DecodedAudio decoded = decodeWithMpg123(path);
    EXPECT_TRUE(decoded.ok) << decoded.messages;
    EXPECT_EQ(std::string(bytes.end() - 128, bytes.end() - 125), "TAG");
}

} // namespace
} // namespace cvn::test
