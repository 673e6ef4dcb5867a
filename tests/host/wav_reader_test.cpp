// The reference host's WAVE reader: what it takes and what it refuses with a reason.
#include "host/wav_reader.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>

#include <fstream>

namespace cvn::test {
namespace {

std::vector<uint8_t> wave(uint16_t channels, uint32_t rate, uint16_t bits,
                          const std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes;
    auto put = [&](uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
    };
    const uint32_t dataSize = static_cast<uint32_t>(2 * samples.size());
    bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
    put(36 + dataSize, 4);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(16, 4);
    put(1, 2);
    put(channels, 2);
    put(rate, 4);
    put(rate * channels * 2, 4);
    put(channels * 2u, 2);
    put(bits, 2);
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    put(dataSize, 4);
    for (int16_t sample : samples) {
        put(static_cast<uint16_t>(sample), 2);
    }
    return bytes;
}

std::string writeFile(const TemporaryDirectory& directory, const std::vector<uint8_t>& bytes) {
    const std::string path = directory.file("input.wav");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

TEST(WaveReader, StereoAndMonoBecomeStereoFrames) {
    TemporaryDirectory directory;
    std::vector<uint32_t> frames;
    std::string error;
    ASSERT_TRUE(readWaveFile(writeFile(directory, wave(2, 44100, 16, {1, -1, 3, 4})), frames, error))
        << error;
    EXPECT_EQ(frames, (std::vector<uint32_t>{0xFFFF0001u, 0x00040003u}));
    frames.clear();
    ASSERT_TRUE(readWaveFile(writeFile(directory, wave(1, 44100, 16, {7, -2})), frames, error)) << error;
    EXPECT_EQ(frames, (std::vector<uint32_t>{0x00070007u, 0xFFFEFFFEu}));
}

TEST(WaveReader, RefusesWhatItCannotEncode) {
    TemporaryDirectory directory;
    std::vector<uint32_t> frames;
    std::string error;
    EXPECT_FALSE(readWaveFile(writeFile(directory, wave(2, 48000, 16, {1, 2})), frames, error));
    EXPECT_NE(error.find("44100"), std::string::npos);
    EXPECT_FALSE(readWaveFile(writeFile(directory, wave(2, 44100, 8, {1, 2})), frames, error));
    std::vector<uint8_t> cut = wave(2, 44100, 16, {1, 2, 3, 4});
    cut.resize(cut.size() - 3);
    EXPECT_FALSE(readWaveFile(writeFile(directory, cut), frames, error));
    EXPECT_NE(error.find("cut short"), std::string::npos);
    EXPECT_FALSE(readWaveFile(writeFile(directory, {'n', 'o', 'p', 'e'}), frames, error));
    EXPECT_FALSE(readWaveFile(directory.file("missing.wav"), frames, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

} // namespace
} // namespace cvn::test
