// The encoder library for Linux, called directly through its six functions: its contract, its
// error codes, and VBR headers that find their own files.
#include "binding/encoder_library.h"
#include "support/audio_tools.h"
#include "support/child_process.h"
#include "support/mp3_frames.h"
#include "support/plugin_under_test.h"
#include "support/temporary_directory.h"

#include "lame_enc/byte_fingerprint.h"
#include "lame_enc/vbr_headers.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <lame/lame.h>

#include <cstring>
#include <fstream>

namespace cvn::test {

using namespace velmora;
namespace {

class LameEncTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The plug-in's own binding, pointed at the real library.
        SetDllDirectoryA(CVN_ENCODER_LIBRARY_DIRECTORY);
        ASSERT_EQ(bindEncoderLibrary(library), 1) << CVN_ENCODER_LIBRARY_DIRECTORY;
    }
    void TearDown() override {
        releaseEncoderLibrary(library);
        SetDllDirectoryA(nullptr);
    }

    static BE_EncoderConfig config(uint8_t mode, uint16_t bitrate, uint32_t crcWord = 0) {
        BE_EncoderConfig c{};
        c.sampleRate = 44100;
        c.channelMode = mode;
        c.bitrate = bitrate;
        c.crcWord = crcWord;
        return c;
    }

    // Encodes `frames` stereo frames of a signal (the left channel alone for mono) into a file,
    // flushing but not closing the stream. Returns the stream.
    BE_Stream encodeToFile(BE_EncoderConfig c, size_t frames, double frequency, const std::string& path) {
        uint32_t chunk = 0, bufferSize = 0;
        BE_Stream stream = 0;
        EXPECT_EQ(library.initStream(&c, &chunk, &bufferSize, &stream), 0u);
        const int channels = c.channelMode == 3 ? 1 : 2;
        std::vector<int16_t> samples;
        for (uint32_t frame : tone(frequency, frames, 8000)) {
            samples.push_back(static_cast<int16_t>(frame & 0xFFFF));
            if (channels == 2) {
                samples.push_back(static_cast<int16_t>(frame >> 16));
            }
        }
        std::vector<uint8_t> output(bufferSize);
        std::ofstream file(path, std::ios::binary);
        for (size_t at = 0; at < samples.size(); at += chunk) {
            const uint32_t count = static_cast<uint32_t>(std::min<size_t>(chunk, samples.size() - at));
            uint32_t bytes = 0;
            EXPECT_EQ(library.encodeChunk(stream, count, samples.data() + at, output.data(), &bytes), 0u);
            EXPECT_LE(bytes, bufferSize);
            file.write(reinterpret_cast<const char*>(output.data()), bytes);
        }
        uint32_t bytes = 0;
        EXPECT_EQ(library.deinitStream(stream, output.data(), &bytes), 0u);
        file.write(reinterpret_cast<const char*>(output.data()), bytes);
        return stream;
    }

    EncoderLibrary library;
};

TEST_F(LameEncTest, ChunkAndBufferSizesFollowTheChannelMode) {
    for (uint8_t mode : {0, 1, 2, 3}) {
        BE_EncoderConfig c = config(mode, 128);
        uint32_t chunk = 0, bufferSize = 0;
        BE_Stream stream = 0;
        ASSERT_EQ(library.initStream(&c, &chunk, &bufferSize, &stream), 0u) << int(mode);
        EXPECT_EQ(chunk, mode == 3 ? 1152u : 2304u);
        EXPECT_EQ(bufferSize, 1152u * 5 / 4 + 7200);
        EXPECT_NE(stream, 0u);
        EXPECT_EQ(library.closeStream(stream), 0u);
    }
}

TEST_F(LameEncTest, ConfigurationsOutsideTheSupportedOnesAreRefused) {
    struct Case {
        BE_EncoderConfig config;
        BE_Result expected;
        const char* what;
    };
    BE_EncoderConfig kind = config(1, 128);
    kind.configKind = 1;
    BE_EncoderConfig rate = config(1, 128);
    rate.sampleRate = 22050;
    const Case cases[] = {
        {kind, 1, "configuration kind 1"},        {rate, 2, "22050 Hz"},
        {config(1, 33), 2, "33 kbit/s"},          {config(1, 8), 2, "8 kbit/s"},
        {config(4, 128), 2, "channel mode 4"},    {config(1, 128, 3u << 8), 2, "quality 3"},
        {config(1, 128, 11u << 12), 2, "VBR 11"},
    };
    for (const Case& c : cases) {
        BE_EncoderConfig copy = c.config;
        uint32_t chunk = 0, bufferSize = 0;
        BE_Stream stream = 0;
        EXPECT_EQ(library.initStream(&copy, &chunk, &bufferSize, &stream), c.expected) << c.what;
    }
    for (uint32_t crcWord : {0u, 1u, 1u << 8, 2u << 8, 1u << 12, 10u << 12}) {
        BE_EncoderConfig c = config(1, 128, crcWord);
        uint32_t chunk = 0, bufferSize = 0;
        BE_Stream stream = 0;
        ASSERT_EQ(library.initStream(&c, &chunk, &bufferSize, &stream), 0u) << crcWord;
        library.closeStream(stream);
    }
}

TEST_F(LameEncTest, BadCountsAndHandles) {
    BE_EncoderConfig c = config(1, 128);
    uint32_t chunk = 0, bufferSize = 0;
    BE_Stream stream = 0;
    ASSERT_EQ(library.initStream(&c, &chunk, &bufferSize, &stream), 0u);
    std::vector<int16_t> samples(chunk + 2);
    std::vector<uint8_t> output(bufferSize);
    uint32_t bytes = 0;
    EXPECT_EQ(library.encodeChunk(stream, chunk + 2, samples.data(), output.data(), &bytes), 2u)
        << "more than a chunk";
    EXPECT_EQ(library.encodeChunk(stream, 3, samples.data(), output.data(), &bytes), 2u)
        << "half a stereo frame";
    EXPECT_EQ(library.encodeChunk(stream, 0, samples.data(), output.data(), &bytes), 0u);
    EXPECT_EQ(library.closeStream(stream), 0u);
    EXPECT_EQ(library.closeStream(stream), 4u) << "closed";
    EXPECT_EQ(library.encodeChunk(stream, 2, samples.data(), output.data(), &bytes), 4u);
    EXPECT_EQ(library.deinitStream(stream, output.data(), &bytes), 4u);
    EXPECT_EQ(library.encodeChunk(0, 2, samples.data(), output.data(), &bytes), 4u) << "never a handle";
    EXPECT_EQ(library.closeStream(0xFFFFFFFFu), 4u);
}

// A host may run more streams at once than any fixed table would hold; handles stay small
// numbers, and a closed one is given out again.
TEST_F(LameEncTest, StreamTableGrowsAndHandlesStaySmall) {
    std::vector<BE_Stream> streams;
    for (int i = 0; i < 200; ++i) {
        BE_EncoderConfig c = config(3, 64);
        uint32_t chunk = 0, bufferSize = 0;
        BE_Stream stream = 0;
        ASSERT_EQ(library.initStream(&c, &chunk, &bufferSize, &stream), 0u) << i;
        streams.push_back(stream);
    }
    std::vector<BE_Stream> sorted = streams;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end()) << "every handle is another";
    EXPECT_LE(sorted.back(), 200u) << "handles are small numbers";
    EXPECT_EQ(library.closeStream(streams[17]), 0u);
    BE_EncoderConfig c = config(3, 64);
    uint32_t chunk = 0, bufferSize = 0;
    BE_Stream again = 0;
    ASSERT_EQ(library.initStream(&c, &chunk, &bufferSize, &again), 0u);
    EXPECT_EQ(again, streams[17]);
    streams[17] = 0;
    for (BE_Stream stream : streams) {
        if (stream != 0) {
            EXPECT_EQ(library.closeStream(stream), 0u);
        }
    }
    EXPECT_EQ(library.closeStream(again), 0u);
}

TEST_F(LameEncTest, VersionRecordNamesTheLinkedEngine) {
    BE_VersionInfo info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_EQ(library.version(&info), 0u);
    lame_version_t engine{};
    get_lame_version_numerical(&engine);
    EXPECT_EQ(info.engineMajor, engine.major);
    EXPECT_EQ(info.engineMinor, engine.minor);
    EXPECT_EQ(info.dllMajor, 1);
    EXPECT_EQ(info.dllMinor, 0);
    EXPECT_EQ(info.releaseDay, 9);
    EXPECT_EQ(info.releaseMonth, 12);
    EXPECT_EQ(info.releaseYear, 2026);
    EXPECT_STREQ(info.homePage, get_lame_url());
}

// A constant-bitrate stream starts with a silent frame that becomes its Info frame, with the
// encoder delay and padding, only when asked for; unasked, it is a valid frame, its CRC too.
TEST_F(LameEncTest, ConstantBitrateReservesAnInfoFrameFilledWhenAsked) {
    TemporaryDirectory directory;
    const std::string path = directory.file("cbr.mp3");
    for (const BE_EncoderConfig& c : {config(1, 128), config(1, 128, 1), config(3, 64, 1)}) {
        const std::string what =
            "mode " + std::to_string(c.channelMode) + ", CRC word " + std::to_string(c.crcWord);
        library.closeStream(encodeToFile(c, 44100, 440, path));
        const std::vector<uint8_t> unasked = readFileBytes(path);
        const std::vector<Mp3Frame> frames = readMp3Frames(unasked);
        ASSERT_GT(frames.size(), 2u) << what;
        EXPECT_FALSE(readVbrHeader(unasked, frames[0])) << what;
        const ChildResult checked =
            runProgram("/usr/bin/ffmpeg", {"-hide_banner", "-nostdin", "-err_detect", "crccheck", "-i", path,
                                           "-f", "null", "-"});
        EXPECT_EQ(checked.errors.find("CRC mismatch"), std::string::npos) << what << ": " << checked.errors;
        EXPECT_EQ(library.writeVBRHeader(path.c_str()), 0u) << what;
        const std::vector<uint8_t> asked = readFileBytes(path);
        ASSERT_EQ(asked.size(), unasked.size()) << what;
        const std::optional<VbrHeader> header = readVbrHeader(asked, frames[0]);
        ASSERT_TRUE(header) << what;
        EXPECT_EQ(header->tag, "Info") << what;
        ASSERT_TRUE(header->frames) << what;
        EXPECT_EQ(*header->frames, frames.size() - 1) << what;
        EXPECT_TRUE(std::equal(asked.begin() + static_cast<std::ptrdiff_t>(frames[1].offset), asked.end(),
                               unasked.begin() + static_cast<std::ptrdiff_t>(frames[1].offset)))
            << what << ": only the first frame changes";
    }
}

// Four VBR streams of different lengths are flushed in one order and their headers asked for in
// another: each file gets its own stream's header.
TEST_F(LameEncTest, EachVbrFileGetsItsOwnHeader) {
    TemporaryDirectory directory;
    const size_t lengths[4] = {44100, 3 * 44100, 20000, 2 * 44100};
    std::vector<std::string> paths;
    std::vector<BE_Stream> streams;
    for (int i = 0; i < 4; ++i) {
        paths.push_back(directory.file("vbr" + std::to_string(i) + ".mp3"));
    }
    for (int i : {1, 3, 0, 2}) {
        streams.push_back(
            encodeToFile(config(i % 2 == 0 ? 1 : 3, 64, 5u << 12), lengths[i], 300.0 + 100 * i, paths[i]));
    }
    for (BE_Stream stream : streams) {
        EXPECT_EQ(library.closeStream(stream), 0u);
    }
    for (int i : {2, 0, 3, 1}) {
        EXPECT_EQ(library.writeVBRHeader(paths[i].c_str()), 0u) << i;
    }
    for (int i = 0; i < 4; ++i) {
        const std::vector<uint8_t> bytes = readFileBytes(paths[i]);
        const std::vector<Mp3Frame> frames = readMp3Frames(bytes);
        ASSERT_GT(frames.size(), 2u) << i;
        const std::optional<VbrHeader> header = readVbrHeader(bytes, frames[0]);
        ASSERT_TRUE(header) << i;
        EXPECT_EQ(header->tag, "Xing") << i;
        ASSERT_TRUE(header->frames) << i;
        EXPECT_EQ(*header->frames, frames.size() - 1)
            << "file " << i << ": the audio frames after the header";
        EXPECT_NE(library.writeVBRHeader(paths[i].c_str()), 0u) << "a header is written once";
    }
}

// A stream's fingerprint does not depend on how its bytes were cut into calls, and one byte more
// or one byte changed changes it.
TEST(ByteFingerprint, TheSameBytesGiveTheSameFingerprintHoweverCut) {
    std::vector<uint8_t> bytes(1000);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    const auto fingerprint = [](const std::vector<uint8_t>& data, size_t piece) {
        lame_enc::ByteFingerprint result;
        for (size_t at = 0; at < data.size(); at += piece) {
            result.add(data.data() + at, std::min(piece, data.size() - at));
        }
        return result;
    };
    const lame_enc::ByteFingerprint whole = fingerprint(bytes, bytes.size());
    for (const size_t piece : {1, 3, 7, 8, 9, 417, 999}) {
        EXPECT_EQ(fingerprint(bytes, piece), whole) << piece;
    }
    std::vector<uint8_t> changed = bytes;
    changed[997] ^= 0x80;
    EXPECT_FALSE(fingerprint(changed, 7) == whole);
    changed = bytes;
    changed.push_back(0);
    EXPECT_FALSE(fingerprint(changed, 7) == whole);
}

TEST_F(LameEncTest, PendingHeadersAreNotKeptWithoutBound) {
    TemporaryDirectory directory;
    std::vector<std::string> paths;
    const size_t count = lame_enc::kMaxPendingHeaders + 6;
    for (size_t i = 0; i < count; ++i) {
        paths.push_back(directory.file("v" + std::to_string(i) + ".mp3"));
        library.closeStream(encodeToFile(config(3, 32, 9u << 12), 1152 + 4 * i, 1152 + 4 * i, paths.back()));
    }
    EXPECT_NE(library.writeVBRHeader(paths[0].c_str()), 0u) << "the oldest were let go";
    EXPECT_EQ(library.writeVBRHeader(paths.back().c_str()), 0u);
    EXPECT_NE(library.writeVBRHeader(directory.file("missing.mp3").c_str()), 0u);
}

} // namespace
} // namespace cvn::test
