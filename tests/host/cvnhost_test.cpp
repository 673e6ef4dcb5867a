// cvnhost as a user runs it: the built program, the plug-in and the real encoder library, each
// file checked with mpg123 and mutagen.
#include "support/audio_tools.h"
#include "support/child_process.h"
#include "support/mp3_frames.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <csignal>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace cvn::test {
namespace {

constexpr int kMp3FrameSamples = 1152;

struct AudioFile {
    std::string name;
    int format;
    int sampleRate;
    int channels;
    double seconds;
};

struct Metadata {
    std::string title, artist, album, genre, track;
};

// Writes a file of two tones with libsndfile, with metadata where the format keeps it.
void writeAudio(const std::string& path, const AudioFile& file, const Metadata& metadata = {}) {
    SF_INFO info{};
    info.samplerate = file.sampleRate;
    info.channels = file.channels;
    info.format = file.format;
    SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(out, nullptr) << path << ": " << sf_strerror(nullptr);
    const std::pair<int, const std::string*> strings[] = {{SF_STR_TITLE, &metadata.title},
                                                          {SF_STR_ARTIST, &metadata.artist},
                                                          {SF_STR_ALBUM, &metadata.album},
                                                          {SF_STR_GENRE, &metadata.genre},
                                                          {SF_STR_TRACKNUMBER, &metadata.track}};
    for (const auto& [type, text] : strings) {
        if (!text->empty()) {
            sf_set_string(out, type, text->c_str());
        }
    }
    const auto frames = static_cast<size_t>(file.seconds * file.sampleRate);
    std::vector<float> samples(frames * static_cast<size_t>(file.channels));
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < file.channels; ++c) {
            samples[i * static_cast<size_t>(file.channels) + static_cast<size_t>(c)] =
                0.3f * static_cast<float>(
                           std::sin(2 * M_PI * (440.0 + 220 * c) * static_cast<double>(i) / file.sampleRate));
        }
    }
    sf_writef_float(out, samples.data(), static_cast<sf_count_t>(frames));
    sf_close(out);
}

struct Id3v1 {
    std::string title, artist;
    int track = -1;
    int genre = -1;
};

Id3v1 readId3v1(const std::string& path) {
    const std::vector<uint8_t> bytes = readFileBytes(path);
    Id3v1 tag;
    if (bytes.size() < 128 || std::string(bytes.end() - 128, bytes.end() - 125) != "TAG") {
        return tag;
    }
    const auto field = [&](size_t offset) {
        const auto* start = reinterpret_cast<const char*>(bytes.data() + bytes.size() - 128 + offset);
        return std::string(start, strnlen(start, 30));
    };
    tag.title = field(3);
    tag.artist = field(33);
    tag.track = bytes[bytes.size() - 2];
    tag.genre = bytes[bytes.size() - 1];
    return tag;
}

class CvnhostTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("CVN_REGISTRY", directory.file("registry.reg").c_str(), 1); }
    void TearDown() override { unsetenv("CVN_REGISTRY"); }

    static ChildResult cvnhost(const std::vector<std::string>& arguments) {
        return runProgram(CVN_HOST_PROGRAM, arguments);
    }
    std::string file(const std::string& name) const { return directory.file(name); }

    TemporaryDirectory directory;
};

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
        // The decoder gives the encoder's delay and the last frame's padding besides the audio.
        const double expected = input.seconds * 44100;
        EXPECT_NEAR(static_cast<double>(decoded.samples.size()) / 2, expected + kMp3FrameSamples,
                    kMp3FrameSamples)
            << input.name;
        const std::vector<StreamFacts> facts = readWithMutagen({output});
        ASSERT_EQ(facts.size(), 1u) << input.name;
        EXPECT_EQ(facts[0].sampleRate, 44100) << input.name;
        EXPECT_EQ(facts[0].channels, 2) << input.name;
    }
}

TEST_F(CvnhostTest, MetadataReachesBothTagsAndOptionsBeatIt) {
    ASSERT_NO_FATAL_FAILURE(writeAudio(file("in.flac"),
                                       {"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 1.0},
                                       {"Café Ωmega", "Artiste", "Albüm", "Rock", "3/12"}));
    struct Case {
        std::vector<std::string> options;
        std::string id3v2Title, id3v1Title, artist;
        int track;
    };
    const std::vector<Case> cases = {
        {{}, "Café Ωmega", "Caf\xe9 ?mega", "Artiste", 3},
        {{"--title", "Given", "--track", "5"}, "Given", "Given", "Artiste", 5},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"encode", file("in.flac"), file("out.mp3")};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ChildResult result = cvnhost(arguments);
        ASSERT_EQ(result.exitStatus, 0) << result.errors;
        const std::map<std::string, std::string> id3v2 = readId3v2WithMutagen(file("out.mp3"));
        EXPECT_EQ(id3v2.count("TIT2") ? id3v2.at("TIT2") : "", c.id3v2Title);
        EXPECT_EQ(id3v2.count("TPE1") ? id3v2.at("TPE1") : "", c.artist);
        EXPECT_EQ(id3v2.count("TALB") ? id3v2.at("TALB") : "", "Albüm");
        EXPECT_EQ(id3v2.count("TRCK") ? id3v2.at("TRCK") : "", std::to_string(c.track));
        const Id3v1 id3v1 = readId3v1(file("out.mp3"));
        EXPECT_EQ(id3v1.title, c.id3v1Title);
        EXPECT_EQ(id3v1.artist, c.artist);
        EXPECT_EQ(id3v1.track, c.track);
        EXPECT_EQ(id3v1.genre, 17) << "Rock";
    }
    ASSERT_EQ(cvnhost({"encode", "--no-id3v2", file("in.flac"), file("plain.mp3")}).exitStatus, 0);
    EXPECT_TRUE(readId3v2WithMutagen(file("plain.mp3")).empty());
    EXPECT_EQ(readId3v1(file("plain.mp3")).title, "Caf\xe9 ?mega");
}

// Each setting goes through the plug-in's own dialog and comes back as the dialog shows it; the
// next encode carries it in every frame header.
TEST_F(CvnhostTest, SettingsRoundTripThroughTheDialogAndReachTheFrames) {
    struct Case {
        std::vector<std::string> options;
        std::string shown;
        bool crc, copyright, original, privateBit;
        int channelMode;
    };
    const std::vector<Case> cases = {
        {{"--stereo-mode", "2ch", "--crc", "on", "--copyright", "on", "--original", "on", "--private", "on",
          "--quality", "high", "--vbr", "3"},
         "Stereo mode: 2 channel stereo\n  Copyright bit: on\n  CRC checksums: on\n  Original bit: on\n"
         "  Private bit: on\n  Quality: high\n  Variable bitrate: quality 3\n",
         true,
         true,
         true,
         true,
         0},
        {{"--stereo-mode", "joint", "--crc", "off", "--copyright", "off", "--original", "off", "--private",
          "off", "--quality", "low", "--vbr", "off"},
         "Stereo mode: joint stereo\n  Copyright bit: off\n  CRC checksums: off\n  Original bit: off\n"
         "  Private bit: off\n  Quality: low\n  Variable bitrate: off\n",
         false,
         false,
         false,
         false,
         1},
    };
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 1.0}));
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"settings"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        ASSERT_EQ(cvnhost(arguments).exitStatus, 0);
        const ChildResult shown = cvnhost({"settings"});
        EXPECT_NE(shown.output.find(c.shown), std::string::npos) << shown.output;

        ASSERT_EQ(cvnhost({"encode", "--no-id3v2", file("in.wav"), file("out.mp3")}).exitStatus, 0);
        const std::vector<Mp3Frame> frames = readMp3Frames(readFileBytes(file("out.mp3")));
        ASSERT_GT(frames.size(), 30u);
        for (const Mp3Frame& frame : frames) {
            EXPECT_EQ(frame.crc, c.crc);
            EXPECT_EQ(frame.copyright, c.copyright);
            EXPECT_EQ(frame.original, c.original);
            EXPECT_EQ(frame.privateBit, c.privateBit);
            EXPECT_EQ(frame.channelMode, c.channelMode);
        }
    }
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
        {"six.wav", "has 6 channels"},
        {"truncated.wav", "is truncated"},
        {"empty.wav", "is empty"},
        {"text.wav", "is not audio"},
        {"missing.wav", "cannot be read: No such file"},
    };
    std::vector<std::string> arguments = {"encode",    "--jobs",    "2",
                                          "--out-dir", file("out"), file("good.wav")};
    for (const auto& [name, cause] : bad) {
        arguments.push_back(file(name));
    }
    arguments.push_back(file("mono.flac"));
    const ChildResult result = cvnhost(arguments);
    EXPECT_EQ(result.exitStatus, 1) << "signal " << result.signal;
    for (const auto& [name, cause] : bad) {
        EXPECT_NE(result.errors.find(name + ": " + cause), std::string::npos) << result.errors;
    }
    for (const char* good : {"out/good.mp3", "out/mono.mp3"}) {
        EXPECT_TRUE(decodeWithMpg123(file(good)).ok);
    }
    EXPECT_NE(result.errors.find("2 of 7 track(s) encoded"), std::string::npos) << result.errors;
}

// Float samples beyond full scale, infinite or NaN (found by fuzzing) are clipped or silent.
TEST_F(CvnhostTest, FloatSamplesOfAnyValueAreEncoded) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* out = sf_open(file("odd.wav").c_str(), SFM_WRITE, &info);
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

TEST_F(CvnhostTest, UsageErrorsExitWithTwo) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.2}));
    const std::vector<std::vector<std::string>> misuses = {
        {},
        {"encode", file("in.wav")},
        {"encode", file("in.wav"), file("in.wav")},
        {"encode", "--format", "28", file("in.wav"), file("out.mp3")},
        {"settings", "--vbr", "10"},
        {"transcode"},
    };
    for (const auto& arguments : misuses) {
        EXPECT_EQ(cvnhost(arguments).exitStatus, 2) << (arguments.empty() ? "" : arguments[0]);
    }
}

// Ctrl-C during a batch: every stream is closed, so each file is a valid, tagged MP3 of what was
// encoded, and the program says which were cut short.
TEST_F(CvnhostTest, InterruptLeavesValidTaggedFilesAndExits130) {
    std::vector<std::string> arguments = {"encode", "--jobs", "2", "--out-dir", file("out")};
    for (int i = 0; i < 4; ++i) {
        const std::string name = file("long" + std::to_string(i) + ".wav");
        ASSERT_NO_FATAL_FAILURE(writeAudio(name, {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 120.0}));
        arguments.push_back(name);
    }
    Child child(CVN_HOST_PROGRAM, arguments);
    const std::string first = file("out/long0.mp3");
    for (int wait = 0; wait < 400 && readFileBytes(first).size() < 20000; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(child.pid(), SIGINT);
    const ChildResult result = child.wait();
    EXPECT_EQ(result.exitStatus, 130) << result.errors;
    EXPECT_NE(result.errors.find("cut short: " + first), std::string::npos) << result.errors;
    for (int i = 0; i < 4; ++i) {
        const std::string output = file("out/long" + std::to_string(i) + ".mp3");
        if (!fileExists(output)) {
            continue; // not started before the stop
        }
        EXPECT_TRUE(decodeWithMpg123(output).ok) << output;
        const std::vector<uint8_t> bytes = readFileBytes(output);
        ASSERT_GE(bytes.size(), 128u);
        EXPECT_EQ(std::string(bytes.end() - 128, bytes.end() - 125), "TAG") << output;
    }
}

TEST_F(CvnhostTest, QueriesAndTheDemoSpeakForThePlugIn) {
    const ChildResult formats = cvnhost({"formats"});
    EXPECT_EQ(formats.exitStatus, 0);
    EXPECT_NE(formats.output.find("16  128 kBit/sec, Stereo\n"), std::string::npos) << formats.output;
    EXPECT_NE(formats.output.find("27  320 kBit/sec, Mono\n"), std::string::npos);
    EXPECT_NE(cvnhost({"info"}).output.find("Support value: 0x10001"), std::string::npos);
    EXPECT_NE(cvnhost({"about"}).output.find("Encoder Version : 3."), std::string::npos);
    const ChildResult demo = cvnhost({"demo", file("demo.mp3")});
    EXPECT_EQ(demo.exitStatus, 0) << demo.errors;
    EXPECT_NE(demo.output.find("10.00 s of the built-in signal as 128 kBit/sec, Stereo"), std::string::npos)
        << demo.output;
    EXPECT_TRUE(decodeWithMpg123(file("demo.mp3")).ok);
    EXPECT_EQ(readId3v2WithMutagen(file("demo.mp3")).at("TIT2"), "Velmora Demo");
}

} // namespace
} // namespace cvn::test
