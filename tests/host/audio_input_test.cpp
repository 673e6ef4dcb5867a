// Audio in: every kind of input becomes what the plug-in takes, gapless, whatever its samples;
// mono stays mono unless asked otherwise.
#include "support/audio_tools.h"
#include "support/child_process.h"
#include "support/mp3_frames.h"
#include "support/temporary_directory.h"
#include "cvnhost_fixture.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>

namespace cvn::test {
namespace {

TEST_F(CvnhostTest, InputsOfEveryKindBecome44100HzMp3OfTheirLength) {
    const std::vector<AudioFile> inputs = {
        {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 2, 2.0},
        {"float.wav", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 44100, 2, 2.0},
        {"mono48k.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 1, 2.5},
        {"stereo.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 44100, 2, 1.5},
        {"vorbis22k.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 22050, 2, 2.0},
    };
    std::vector<std::string> arguments = {"encode", "--quiet", "--out-dir", file("out")};
    for (const AudioFile& input : inputs) {
        ASSERT_NO_FATAL_FAILURE(writeAudio(file(input.name), input));
        arguments.push_back(file(input.name));
    }
    const ChildResult result = cvnhost(arguments);
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    for (const AudioFile& input : inputs) {
        const std::string output = file("out/" + input.name.substr(0, input.name.find('.')) + ".mp3");
        const DecodedAudio decoded = decodeWithMpg123(output);
        EXPECT_TRUE(decoded.ok) << input.name << ": " << decoded.messages;
        // The Info frame lets the decoder trim the encoder's delay and the last frame's padding.
        EXPECT_EQ(decoded.samples.size() / static_cast<size_t>(input.channels),
                  static_cast<size_t>(input.seconds * 44100))
            << input.name;
        const std::vector<StreamFacts> facts = readWithMutagen({output});
        ASSERT_EQ(facts.size(), 1u) << input.name;
        EXPECT_EQ(facts[0].sampleRate, 44100) << input.name;
        EXPECT_EQ(facts[0].channels, input.channels) << input.name << ": a mono input stays mono";
    }
}

// Every setting gives a gapless file: ffmpeg decodes exactly the input's samples (after the change
// to 44100 Hz) and the tone starts where the input's does, with no lead of encoder delay.
TEST_F(CvnhostTest, FilesAreGaplessAtEverySetting) {
    struct Case {
        std::vector<std::string> options;
        int sampleRate, channels;
    };
    const std::vector<Case> cases = {
        {{"-b", "128"}, 44100, 2}, {{"-b", "128"}, 44100, 1}, {{"-V", "2"}, 44100, 2}, {{}, 48000, 2}};
    for (const Case& c : cases) {
        const std::string name = ::testing::PrintToString(c.options) + " " + std::to_string(c.sampleRate) +
                                 " Hz " + std::to_string(c.channels) + " ch";
        ASSERT_NO_FATAL_FAILURE(writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                                            c.sampleRate, c.channels, 1.37, 0.3f, 0.25}));
        std::vector<std::string> arguments = {"encode", "--overwrite", file("in.wav"), file("out.mp3")};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        ASSERT_EQ(cvnhost(arguments).exitStatus, 0) << name;
        const DecodedAudio decoded = decodeWithFfmpeg(file("out.mp3"));
        ASSERT_TRUE(decoded.ok) << name << ": " << decoded.messages;
        const auto channels = static_cast<size_t>(c.channels);
        EXPECT_EQ(decoded.samples.size() / channels, static_cast<size_t>(1.37 * 44100)) << name;
        // The first sample above half the tone's amplitude: 0.25 s in, and 0.19 ms up its sine.
        size_t onset = 0;
        while (onset < decoded.samples.size() / channels &&
               std::abs(decoded.samples[onset * channels]) < 4915) {
            ++onset;
        }
        EXPECT_NEAR(static_cast<double>(onset), 0.25 * 44100 + 8, 16) << name;
    }
}

// Float samples beyond full scale, infinite or NaN (found by fuzzing) are clipped or silent.
TEST_F(CvnhostTest, FloatSamplesOfAnyValueAreEncoded) {
    SNDFILE* out = openForWriting(file("odd.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1);
    ASSERT_NE(out, nullptr);
    // Without normalisation, the values are written as they are.
    sf_command(out, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
    std::vector<float> samples(44100, 0.25f);
    for (size_t i = 0; i < samples.size(); i += 4) {
        samples[i] = std::nanf("");
        samples[i + 1] = 1e30f;
        samples[i + 2] = -INFINITY;
    }
    sf_writef_float(out, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(out);
    const ChildResult result = cvnhost({"encode", file("odd.wav"), file("odd.mp3")});
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_TRUE(decodeWithMpg123(file("odd.mp3")).ok);
}

// With no format option a mono input keeps to one channel at the default bitrate; a format,
// --mono or --stereo decides otherwise, and a bitrate alone keeps the input's channels.
TEST_F(CvnhostTest, MonoInputsStayMonoUnlessAFormatSaysOtherwise) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("mono.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, 1.0}));
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("stereo.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 1.0}));
    struct Case {
        const char* input;
        std::vector<std::string> options;
        int channels;
        int bitrate;
        std::string summary; // on stderr, when not empty
    };
    const std::vector<Case> cases = {
        {"mono.wav", {}, 1, 128, "encoded as 128 kbit/s, mono (mono inputs in the mono format"},
        {"mono.wav", {"--stereo"}, 2, 128, ""},
        {"mono.wav", {"--format", "16"}, 2, 128, ""},
        {"mono.wav", {"-b", "192"}, 1, 192, ""},
        {"stereo.wav", {}, 2, 128, ""},
        {"stereo.wav", {"--mono"}, 1, 128, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"encode", "--overwrite", file(c.input), file("out.mp3")};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ChildResult result = cvnhost(arguments);
        ASSERT_EQ(result.exitStatus, 0) << c.input << ": " << result.errors;
        const std::vector<Mp3Frame> frames = readMp3Frames(readFileBytes(file("out.mp3")));
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames[1].channelMode == 3 ? 1 : 2, c.channels)
            << c.input << " " << ::testing::PrintToString(c.options);
        EXPECT_EQ(frames[1].bitrate, c.bitrate) << c.input;
        EXPECT_NE(result.errors.find(c.summary), std::string::npos) << result.errors;
    }
    EXPECT_EQ(cvnhost({"encode", "--mono", "--stereo", file("mono.wav"), file("out.mp3")}).exitStatus, 2);
}

} // namespace
} // namespace cvn::test
