// cvnhost as a user runs it: the built program, the plug-in and the real encoder library, each
// file checked with mpg123 and mutagen.
#include "support/audio_tools.h"
#include "support/child_process.h"
#include "support/mp3_frames.h"
#include "support/temporary_directory.h"
#include "cvnhost_fixture.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>

#include <algorithm>
#include <csignal>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

namespace cvn::test {
namespace {

constexpr int kMp3FrameSamples = 1152;

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

TEST_F(CvnhostTest, MetadataReachesBothTagsAndOptionsBeatIt) {
    ASSERT_NO_FATAL_FAILURE(writeAudio(file("in.flac"),
                                       {"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 1.0},
                                       {"Café Ωmega", "Artiste", "Albüm", "Rock", "3/12"}));
    struct Case {
        std::vector<std::string> options;
        std::string id3v2Title, id3v1Title, artist;
        int track;
        std::string trackFrame;
    };
    const std::vector<Case> cases = {
        {{}, "Café Ωmega", "Caf\xe9 ?mega", "Artiste", 3, "3/12"},
        {{"--title", "Given", "--track", "5"}, "Given", "Given", "Artiste", 5, "5"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"encode", "--overwrite", file("in.flac"), file("out.mp3")};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ChildResult result = cvnhost(arguments);
        ASSERT_EQ(result.exitStatus, 0) << result.errors;
        const std::map<std::string, std::string> id3v2 = readId3v2WithMutagen(file("out.mp3"));
        EXPECT_EQ(id3v2.count("TIT2") ? id3v2.at("TIT2") : "", c.id3v2Title);
        EXPECT_EQ(id3v2.count("TPE1") ? id3v2.at("TPE1") : "", c.artist);
        EXPECT_EQ(id3v2.count("TALB") ? id3v2.at("TALB") : "", "Albüm");
        EXPECT_EQ(id3v2.count("TRCK") ? id3v2.at("TRCK") : "", c.trackFrame);
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

// Every tag of a tagged FLAC, Ogg or MP3 input and its front cover reach the ID3v2 tag, in
// version 2.3 unless 2.4 is asked for; options beat the input's values.
TEST_F(CvnhostTest, EveryTagAndTheCoverReachTheId3v2Tag) {
    const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A,
                                      0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    const std::map<std::string, std::string> texts = {
        {"TITLE", "Café Ωmega"},
        {"ARTIST", "Artiste"},
        {"ALBUM", "Albüm"},
        {"ALBUMARTIST", "Various"},
        {"TRACKNUMBER", "3"},
        {"TRACKTOTAL", "12"},
        {"DISCNUMBER", "1"},
        {"DISCTOTAL", "2"},
        {"GENRE", "Synthwave"},
        {"DATE", "2024-05-17"},
        {"COMMENT", "a comment"},
        {"COMPOSER", "Composer"},
        {"COPYRIGHT", "2024 Label"},
        {"ISRC", "USRC17607839"},
        {"LYRICS", "la la la"},
        {"MUSICBRAINZ_ALBUMID", "0d9c6e5c-6b57-4a3a-9f5e-3f0a1c2b3d4e"},
        {"REPLAYGAIN_TRACK_GAIN", "-7.43 dB"},
    };
    for (const char* name : {"in.flac", "in.ogg"}) {
        ASSERT_NO_FATAL_FAILURE(
            writeAudio(file(name), {"",
                                    std::string(name) == "in.flac" ? SF_FORMAT_FLAC | SF_FORMAT_PCM_16
                                                                   : SF_FORMAT_OGG | SF_FORMAT_VORBIS,
                                    44100, 2, 0.5}));
        TagLib::FileRef input(file(name).c_str());
        TagLib::PropertyMap properties;
        for (const auto& [key, value] : texts) {
            properties[key] = TagLib::StringList(TagLib::String(value, TagLib::String::UTF8));
        }
        input.file()->setProperties(properties);
        auto* picture = new TagLib::FLAC::Picture;
        picture->setType(TagLib::FLAC::Picture::FrontCover);
        picture->setMimeType("image/png");
        picture->setData(TagLib::ByteVector(reinterpret_cast<const char*>(png.data()), png.size()));
        if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(input.file())) {
            flac->addPicture(picture);
        } else {
            dynamic_cast<TagLib::Ogg::Vorbis::File*>(input.file())->tag()->addPicture(picture);
        }
        ASSERT_TRUE(input.save()) << name;
    }
    // An MP3 input: the FLAC's tags as cvnhost writes them in version 2.4.
    ASSERT_EQ(cvnhost({"encode", "--id3v2-version", "4", file("in.flac"), file("in.mp3")}).exitStatus, 0);
    const std::map<std::string, std::string> expected = {
        {"TIT2", "Café Ωmega"},
        {"TPE1", "Artiste"},
        {"TPE2", "Various"},
        {"TALB", "Albüm"},
        {"TRCK", "3/12"},
        {"TPOS", "1/2"},
        {"TCON", "Synthwave"},
        {"TCOM", "Composer"},
        {"TCOP", "2024 Label"},
        {"TSRC", "USRC17607839"},
        {"TXXX:MusicBrainz Album Id", "0d9c6e5c-6b57-4a3a-9f5e-3f0a1c2b3d4e"},
        {"TXXX:REPLAYGAIN_TRACK_GAIN", "-7.43 dB"},
        {"APIC", "image/png 16 3"},
    };
    struct Case {
        const char* input;
        std::vector<std::string> options;
        std::string version;
    };
    const std::vector<Case> cases = {{"in.flac", {}, "2.3"},
                                     {"in.ogg", {}, "2.3"},
                                     {"in.mp3", {}, "2.3"},
                                     {"in.flac", {"--id3v2-version", "4"}, "2.4"}};
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"encode", "--overwrite", file(c.input), file("out.mp3")};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ChildResult result = cvnhost(arguments);
        ASSERT_EQ(result.exitStatus, 0) << c.input << ": " << result.errors;
        const std::map<std::string, std::string> frames = readId3v2WithMutagen(file("out.mp3"));
        EXPECT_EQ(frames.count("VERSION") ? frames.at("VERSION") : "", c.version) << c.input;
        for (const auto& [key, value] : expected) {
            EXPECT_EQ(frames.count(key) ? frames.at(key) : "(missing)", value) << c.input << " " << key;
        }
        const auto withPrefix = [&](const std::string& prefix) {
            const auto found = frames.lower_bound(prefix);
            return found != frames.end() && found->first.rfind(prefix, 0) == 0 ? found->second : "(missing)";
        };
        EXPECT_EQ(withPrefix("TDRC").substr(0, 4), "2024") << c.input;
        EXPECT_EQ(withPrefix("COMM:"), "a comment") << c.input;
        EXPECT_EQ(withPrefix("USLT:"), "la la la") << c.input;
    }
    // Options beat the input's values.
    writeText(file("cover.jpg"), std::string("\xFF\xD8\xFF\xE0 jpeg", 9));
    ASSERT_EQ(cvnhost({"encode", "--overwrite", file("in.flac"), file("out.mp3"), "--album-artist", "Given",
                       "--disc", "2/2", "--date", "1999", "--comment", "given", "--cover", file("cover.jpg"),
                       "--track", "4/9"})
                  .exitStatus,
              0);
    const std::map<std::string, std::string> frames = readId3v2WithMutagen(file("out.mp3"));
    EXPECT_EQ(frames.at("TPE2"), "Given");
    EXPECT_EQ(frames.at("TPOS"), "2/2");
    EXPECT_EQ(frames.at("TRCK"), "4/9");
    EXPECT_EQ(frames.at("APIC"), "image/jpeg 9 3");
    EXPECT_EQ(readId3v1(file("out.mp3")).track, 4);
    writeText(file("notimage.png"), "text");
    const ChildResult badCover =
        cvnhost({"encode", file("in.flac"), file("out2.mp3"), "--cover", file("notimage.png")});
    EXPECT_EQ(badCover.exitStatus, 1);
    EXPECT_NE(badCover.errors.find("notimage.png: is neither a PNG nor a JPEG image"), std::string::npos)
        << badCover.errors;
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

// A run's own quality: its frames equal those of the encoder project's program at the same
// options, whatever is stored (here VBR 3), and the stored settings stay as they were. Each file
// starts with its own header frame, a VBR header or an Info frame, as the program's does.
TEST_F(CvnhostTest, QualityChosenPerRunMatchesTheEncodersProgramAndStoresNothing) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 3.0}));
    const std::string stored = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Corvane\\VelmoraPlugIn]\n"
                               "\"VBR\"=dword:00000004\n";
    writeText(file("registry.reg"), stored);
    struct Case {
        std::vector<std::string> ours, lames;
        std::string header;
        std::string encoded; // in cvnhost's line for the track
    };
    const std::vector<Case> cases = {
        {{"-V", "2"}, {"-V", "2", "-o"}, "Xing", "VBR quality 2, stereo"},
        // From -V 7 on the program resamples a 44100 Hz input to 32000 Hz or less; the plug-in
        // always gives 44100 Hz, so the frames match up to -V 6.
        {{"-V", "6", "--quality", "high"}, {"-V", "6", "-h", "-o"}, "Xing", "VBR quality 6, stereo"},
        {{"-b", "192"}, {"-b", "192", "-o"}, "Info", "192 kbit/s, stereo"},
        {{"-b", "96", "--stereo-mode", "2ch"}, {"-b", "96", "-m", "s", "-o"}, "Info", "96 kbit/s, stereo"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"encode", "--overwrite", "--no-id3v2", file("in.wav"),
                                              file("ours.mp3")};
        arguments.insert(arguments.end(), c.ours.begin(), c.ours.end());
        const ChildResult ours = cvnhost(arguments);
        ASSERT_EQ(ours.exitStatus, 0) << ours.errors;
        EXPECT_NE(ours.errors.find("(3.0 s, " + c.encoded + ", "), std::string::npos) << ours.errors;
        std::vector<std::string> lameArguments = {"--quiet"};
        lameArguments.insert(lameArguments.end(), c.lames.begin(), c.lames.end());
        lameArguments.insert(lameArguments.end(), {file("in.wav"), file("lame.mp3")});
        ASSERT_EQ(runProgram("/usr/bin/lame", lameArguments).exitStatus, 0);
        const std::vector<uint8_t> ourBytes = readFileBytes(file("ours.mp3"));
        const std::vector<uint8_t> lameBytes = readFileBytes(file("lame.mp3"));
        const std::vector<Mp3Frame> ourFrames = readMp3Frames(ourBytes);
        const std::vector<Mp3Frame> lameFrames = readMp3Frames(lameBytes);
        ASSERT_EQ(ourFrames.size(), lameFrames.size()) << ::testing::PrintToString(c.ours);
        const std::optional<VbrHeader> header = readVbrHeader(ourBytes, ourFrames[0]);
        EXPECT_EQ(header ? header->tag : "none", c.header) << ::testing::PrintToString(c.ours);
        for (size_t i = 1; i < ourFrames.size(); ++i) {
            ASSERT_TRUE(std::equal(
                ourBytes.begin() + static_cast<std::ptrdiff_t>(ourFrames[i].offset),
                ourBytes.begin() + static_cast<std::ptrdiff_t>(ourFrames[i].offset + ourFrames[i].length),
                lameBytes.begin() + static_cast<std::ptrdiff_t>(lameFrames[i].offset),
                lameBytes.begin() + static_cast<std::ptrdiff_t>(lameFrames[i].offset + lameFrames[i].length)))
                << ::testing::PrintToString(c.ours) << " frame " << i;
        }
        EXPECT_EQ(readText(file("registry.reg")), stored) << "the stored settings stay";
    }
}

// --replaygain track measures what is handed to the plug-in: a 997 Hz sine at full scale in both
// channels is 0 LUFS by EBU R 128 (the channels' powers add), so one at half of full scale is
// -6.02 LUFS: -11.98 dB to the -18 LUFS reference; the peak is the MP3's, as a player decodes it.
TEST_F(CvnhostTest, ReplayGainOfATrackIsMeasuredIntoItsTag) {
    SNDFILE* out = openForWriting(file("sine.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2);
    ASSERT_NE(out, nullptr);
    std::vector<short> samples(44100 * 2 * 5);
    for (size_t i = 0; i < samples.size() / 2; ++i) {
        samples[2 * i] = samples[2 * i + 1] = static_cast<short>(
            std::lround(16384 * std::sin(2 * M_PI * 997 * static_cast<double>(i) / 44100)));
    }
    sf_writef_short(out, samples.data(), static_cast<sf_count_t>(samples.size() / 2));
    sf_close(out);
    ASSERT_EQ(cvnhost({"encode", "--replaygain", "track", file("sine.wav"), file("out.mp3")}).exitStatus, 0);
    const std::map<std::string, std::string> frames = readId3v2WithMutagen(file("out.mp3"));
    ASSERT_EQ(frames.count("TXXX:REPLAYGAIN_TRACK_GAIN"), 1u);
    EXPECT_NEAR(std::stod(frames.at("TXXX:REPLAYGAIN_TRACK_GAIN")), -11.98, 0.05);
    EXPECT_NEAR(std::stod(frames.at("TXXX:REPLAYGAIN_TRACK_PEAK")), decodedPeakWithFfmpeg(file("out.mp3")),
                1e-5)
        << "the MP3's own peak";
    ASSERT_EQ(cvnhost({"encode", file("sine.wav"), file("plain.mp3")}).exitStatus, 0);
    EXPECT_EQ(readId3v2WithMutagen(file("plain.mp3")).count("TXXX:REPLAYGAIN_TRACK_GAIN"), 0u)
        << "off by default";
}

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
    EXPECT_NE(rerun.errors.find("1 of 1 track(s) encoded"), std::string::npos) << rerun.errors;
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
        {{"--out-dir", file("new"), "--name", "%album%", file("lib")}, 2, "would be written there"},
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

// "-" reads standard input and writes the finished file to standard output, so that cvnhost
// stands in a shell pipeline; its messages go to standard error. Any format works, tags included.
TEST_F(CvnhostTest, StandardInputAndOutputMakeAPipeline) {
    Metadata tags;
    tags.title = "Piped";
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 1.5}));
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.flac"), {"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 1, 1.5}, tags));
    writeText(file("text.txt"), "not audio");
    struct Case {
        std::string shell; // after "cvnhost "
        int exitStatus;
        std::string message; // in standard error
    };
    const std::string program = CVN_HOST_PROGRAM;
    const std::vector<Case> cases = {
        {"encode - - < " + file("in.wav") + " > " + file("wav.mp3"), 0, "- -> - (1.5 s"},
        {"encode - - < " + file("in.flac") + " | cat > " + file("flac.mp3"), 0, "- -> - (1.5 s"},
        {"encode - " + file("out.mp3") + " < " + file("text.txt"), 1, "-: is not audio"},
        {"encode --out-dir " + file("dir") + " - < " + file("in.wav"), 2, "standard input (-) is one track"},
    };
    for (const Case& c : cases) {
        const ChildResult result = runProgram("/bin/sh", {"-c", "'" + program + "' " + c.shell});
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.shell << ": " << result.errors;
        EXPECT_NE(result.errors.find(c.message), std::string::npos) << c.shell << ": " << result.errors;
    }
    for (const std::string name : {"wav.mp3", "flac.mp3"}) {
        const DecodedAudio decoded = decodeWithFfmpeg(file(name));
        EXPECT_TRUE(decoded.ok) << name << ": " << decoded.messages;
        EXPECT_EQ(decoded.samples.size(), name == "wav.mp3" ? 2 * 66150u : 66150u) << name;
    }
    EXPECT_EQ(readId3v2WithMutagen(file("flac.mp3"))["TIT2"], "Piped");
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

        ASSERT_EQ(
            cvnhost({"encode", "--overwrite", "--no-id3v2", file("in.wav"), file("out.mp3")}).exitStatus, 0);
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

// A misuse exits with 2 and says what was wrong, and where a word was mistyped, what was meant;
// a setting that cannot be used is a failure (1) naming it.
TEST_F(CvnhostTest, MisusesAreNamedWithWhatWasMeant) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.2}));
    writeText(file("damaged.reg"), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Corvane\\VelmoraPlugIn]\n"
                                   "\"Quality\"=dword:00000001\n\"VBR\"=dword:zz\n");
    struct Case {
        std::vector<std::string> arguments;
        int exitStatus;
        std::string message;
        std::string registry = "registry.reg";
    };
    const std::string in = file("in.wav");
    const std::string out = file("out.mp3");
    const std::vector<Case> cases = {
        {{}, 2, "A subcommand is required"},
        {{"encode"}, 2, "encode needs an INPUT and an OUTPUT"},
        {{"encode", "--jobs"}, 2, "cvnhost: --jobs: 1 required"},
        {{"encode", in, in}, 2, "the output would overwrite an input"},
        {{"encode", "--format", "28", in, out}, 2, "not in range 0 to 27"},
        {{"encode", "--format", "abc", in, out}, 2, "--format: abc is not a number"},
        {{"settings", "--vbr", "10"}, 2, "--vbr"},
        {{"encdoe", in, out}, 2, "unknown command 'encdoe'; did you mean encode?"},
        {{"transcode"}, 2, "unknown command 'transcode' (the commands: encode, demo"},
        {{"-V"}, 2, "-V is an option of a command: cvnhost encode -V"},
        {{"--verison"}, 2, "unknown option --verison; did you mean --version?"},
        {{"-v"}, 2, "unknown option -v; did you mean --version?"},
        {{"encode", "--bitrat", "128", in, out},
         2,
         "encode: unknown option --bitrat; did you mean --bitrate?"},
        {{"settings", "extra"}, 2, "settings: unexpected argument 'extra'"},
        {{"encode", "--settings", "Software\\Typo", in, out},
         1,
         "the settings key HKEY_CURRENT_USER\\Software\\Typo does not exist"},
        {{"encode", in, out},
         1,
         "the setting VBR under HKEY_CURRENT_USER\\Software\\Corvane\\VelmoraPlugIn in the registry file " +
             file("damaged.reg") + " cannot be read: line 5 (\"VBR\"=dword:zz)",
         "damaged.reg"},
    };
    for (const Case& c : cases) {
        setenv("CVN_REGISTRY", file(c.registry).c_str(), 1);
        const ChildResult result = cvnhost(c.arguments);
        const std::string what = ::testing::PrintToString(c.arguments);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << what << ": " << result.errors;
        EXPECT_NE(result.errors.find(c.message), std::string::npos) << what << ": " << result.errors;
        EXPECT_FALSE(std::filesystem::exists(out)) << what;
    }
    EXPECT_EQ(cvnhost({"demo", "--help"}).output.find("the input's own"), std::string::npos);
}

// A shell user's habits: a lone input is written beside it (never over a file), a template that
// ends in .mp3 is not extended again, and MP3 data under another name is said to be so.
TEST_F(CvnhostTest, AShellUsersHabitsAreMet) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("song.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.2}));
    struct Case {
        std::vector<std::string> arguments;
        int exitStatus;
        std::string message;
        std::string made; // a file the run makes
    };
    const std::vector<Case> cases = {
        {{"encode", file("song.wav")}, 0, "song.wav -> " + file("song.mp3"), "song.mp3"},
        {{"encode", file("song.wav")}, 1, "song.mp3: exists; --overwrite replaces it", "song.mp3"},
        {{"encode", file("song.mp3")}, 0, "-> " + file("song.mp3.mp3"), "song.mp3.mp3"},
        {{"encode", "--out-dir", file("named"), "--name", "%filename%.mp3", file("song.wav")},
         0,
         "",
         "named/song.mp3"},
        {{"encode", file("song.wav"), file("song.aiff")},
         0,
         "song.aiff: MP3 data under a name that does not end in .mp3",
         "song.aiff"},
    };
    for (const Case& c : cases) {
        const ChildResult result = cvnhost(c.arguments);
        const std::string what = ::testing::PrintToString(c.arguments);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << what << ": " << result.errors;
        EXPECT_NE(result.errors.find(c.message), std::string::npos) << what << ": " << result.errors;
        EXPECT_TRUE(std::filesystem::exists(file(c.made))) << what;
    }
}

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
    EXPECT_NE(rerun.errors.find(std::to_string(missing) + " of " + std::to_string(missing) +
                                " track(s) encoded as 128 kbit/s, stereo; " +
                                std::to_string(finished.size()) + " skipped: exists"),
              std::string::npos)
        << rerun.errors;
    EXPECT_EQ(namesIn(file("out")).size(), tracks);
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
    EXPECT_EQ(longName.exitStatus, 2);
    EXPECT_NE(longName.errors.find(".mp3: cannot be created: its name is longer than the file system takes"),
              std::string::npos)
        << longName.errors;
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

// The registry file as users keep it: a change through the settings dialog rewrites only its own
// line; a file that cannot be read or parsed is named and never written; an encode reads only.
TEST_F(CvnhostTest, TheRegistryFileKeepsWhatItHadAndItsProblemsAreNamed) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.5}));
    const std::string key = "[HKEY_CURRENT_USER\\Software\\Corvane\\VelmoraPlugIn]\n";
    const std::string other =
        "\n; another program's\n[HKEY_CURRENT_USER\\Software\\Other]\n\"Name\"=\"text\"\n"
        "\"Blob\"=hex:01,02,\\\n  03\n";
    std::string padding; // enough of another key's values that a file size limit stops a rewrite
    for (int i = 0; i < 200; ++i) {
        padding += "\"Value" + std::to_string(i) + "\"=\"" + std::string(40, 'x') + "\"\n";
    }
    struct Case {
        const char* what;
        std::string registry;             // the file's text; empty: no file
        std::string registryPath;         // empty: the test's own
        std::vector<std::string> command; // "encode" or "settings ..."
        size_t fileLimit;                 // 0: none
        int exitStatus;
        std::string message;       // on stderr
        std::string registryAfter; // what the file holds afterwards
    };
    // The dialog writes all seven values on OK; those it adds follow the key's last value.
    const std::string dialogValues = "\"StereoMode\"=dword:00000000\n\"Copyright\"=dword:00000000\n"
                                     "\"CRC\"=dword:00000000\n\"Quality\"=dword:00000000\n"
                                     "\"Original\"=dword:00000000\n\"Private\"=dword:00000000\n";
    const std::string registry = "REGEDIT4\n\n" + key + "\"VBR\"=dword:00000000\n@=\"kept\"\n" + other;
    const std::vector<Case> cases = {
        {"a change through the dialog",
         registry,
         "",
         {"settings", "--vbr", "3"},
         0,
         0,
         "",
         "REGEDIT4\n\n" + key + "\"VBR\"=dword:00000004\n@=\"kept\"\n" + dialogValues + other},
        {"not REGEDIT4, settings",
         "garbage\n",
         "",
         {"settings", "--vbr", "3"},
         0,
         1,
         "not a REGEDIT4 file",
         "garbage\n"},
        {"not REGEDIT4, encode", "garbage\n", "", {"encode"}, 0, 1, "not a REGEDIT4 file", "garbage\n"},
        {"a stored Quality of 7",
         "REGEDIT4\n" + key + "\"Quality\"=dword:00000007\n",
         "",
         {"encode"},
         0,
         1,
         "the setting Quality is 7",
         "REGEDIT4\n" + key + "\"Quality\"=dword:00000007\n"},
        {"a stored VBR of 11",
         "REGEDIT4\n" + key + "\"VBR\"=dword:0000000b\n",
         "",
         {"encode"},
         0,
         1,
         "the setting VBR is 11",
         "REGEDIT4\n" + key + "\"VBR\"=dword:0000000b\n"},
        {"a settings write that fails",
         "REGEDIT4\n" + key + padding,
         "",
         {"settings", "--crc", "on"},
         4096,
         1,
         "could not be stored in the registry file",
         "REGEDIT4\n" + key + padding},
        {"no place for a registry, encode", "", "/proc/velmora/registry.reg", {"encode"}, 0, 0, "", ""},
        {"no place for a registry, settings",
         "",
         "/proc/velmora/registry.reg",
         {"settings", "--crc", "on"},
         0,
         1,
         "/proc/velmora/registry.reg",
         ""},
    };
    for (const Case& c : cases) {
        const std::string path = c.registryPath.empty() ? file("registry.reg") : c.registryPath;
        std::filesystem::remove(file("registry.reg"));
        if (!c.registry.empty()) {
            writeText(path, c.registry);
        }
        setenv("CVN_REGISTRY", path.c_str(), 1);
        std::vector<std::string> arguments = c.command;
        if (arguments[0] == "encode") {
            arguments.insert(arguments.end(), {"--overwrite", file("in.wav"), file("out.mp3")});
        }
        const ChildResult result =
            c.fileLimit == 0 ? cvnhost(arguments) : cvnhostWithFileLimit(c.fileLimit, arguments);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.what << ": " << result.errors;
        EXPECT_NE(result.errors.find(c.message), std::string::npos) << c.what << ": " << result.errors;
        if (!c.message.empty()) {
            EXPECT_NE(result.errors.find(path), std::string::npos) << c.what << ": " << result.errors;
        }
        EXPECT_EQ(fileExists(path) ? readText(path) : "", c.registryAfter) << c.what;
    }
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

TEST_F(CvnhostTest, QueriesAndTheDemoSpeakForThePlugIn) {
    const ChildResult formats = cvnhost({"formats"});
    EXPECT_EQ(formats.exitStatus, 0);
    EXPECT_NE(formats.output.find("16  128 kBit/sec, Stereo\n"), std::string::npos) << formats.output;
    EXPECT_NE(formats.output.find("27  320 kBit/sec, Mono\n"), std::string::npos);
    EXPECT_NE(cvnhost({"info"}).output.find("Support value: 0x10001"), std::string::npos);
    EXPECT_NE(cvnhost({"about"}).output.find("Encoder Version : 3."), std::string::npos);
    const ChildResult demo = cvnhost({"demo", file("demo.mp3")});
    EXPECT_EQ(demo.exitStatus, 0) << demo.errors;
    EXPECT_NE(demo.output.find("10.00 s of the built-in signal as 128 kbit/s, stereo"), std::string::npos)
        << demo.output;
    EXPECT_TRUE(decodeWithMpg123(file("demo.mp3")).ok);
    EXPECT_EQ(readId3v2WithMutagen(file("demo.mp3")).at("TIT2"), "Velmora Demo");
    // Under a German locale the plug-in's own texts are German; cvnhost's lines stay English.
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    const ChildResult german = cvnhost({"demo", file("de.mp3")});
    const ChildResult germanFormats = cvnhost({"formats"});
    unsetenv("LC_ALL");
    EXPECT_NE(germanFormats.output.find("16  128 kBit/sek, Stereo\n"), std::string::npos)
        << germanFormats.output;
    EXPECT_NE(german.output.find("as 128 kbit/s, stereo"), std::string::npos) << german.output;
}

} // namespace
} // namespace cvn::test
