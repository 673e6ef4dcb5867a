// Tags: the input's own and the options' reach both tags of the MP3, every value in its frame,
// and the measured ReplayGain.
#include "support/audio_tools.h"
#include "support/child_process.h"
#include "support/mp3_frames.h"
#include "support/temporary_directory.h"
#include "cvnhost_fixture.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>

#include <cmath>
#include <cstring>

namespace cvn::test {
namespace {

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

// The program that wrote the input (FFmpeg's "Lavf..." as an MP4 file's ©too, a FLAC or WavPack
// file's ENCODER, an MP3 file's TSSE, a WMA file's WM/EncodingSettings) and an MP3 input's length
// (TLEN, which an encoder reading a pipe writes as 2^32 - 1 ms) stay out of the MP3, whose TSSE
// names the encoder library as the encoder project's program writes it; the person who encoded
// the input stays in TENC.
TEST_F(CvnhostTest, TheInputsEncoderAndLengthStayOutAndTsseNamesTheEncoderLibrary) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.5}));
    ASSERT_EQ(
        runProgram("/usr/bin/lame", {"--quiet", "--add-id3v2", file("in.wav"), file("lame.mp3")}).exitStatus,
        0);
    const std::string lamesOwn = readId3v2WithMutagen(file("lame.mp3")).at("TSSE");
    ASSERT_EQ(lamesOwn.rfind("LAME ", 0), 0u) << lamesOwn;
    const std::vector<std::pair<std::string, std::vector<std::string>>> inputs = {
        {"in.m4a", {"-c:a", "aac"}},        {"in.flac", {}},
        {"in.mp3", {"-c:a", "libmp3lame"}}, {"in.wma", {"-c:a", "wmav2"}},
        {"in.wv", {"-c:a", "wavpack"}},
    };
    for (const auto& [name, codec] : inputs) {
        std::vector<std::string> arguments = {
            "-nostdin", "-loglevel",    "error",     "-y",
            "-i",       file("in.wav"), "-metadata", "encoded_by=Jane Ripper"};
        arguments.insert(arguments.end(), codec.begin(), codec.end());
        arguments.push_back(file(name));
        ASSERT_EQ(runProgram("/usr/bin/ffmpeg", arguments).exitStatus, 0) << name;
        if (name == "in.m4a") { // FFmpeg writes no encoded_by into MP4; its ©too is "Lavf..."
            TagLib::MP4::File m4a(file(name).c_str());
            m4a.tag()->setItem("\251enc", TagLib::StringList("Jane Ripper"));
            ASSERT_TRUE(m4a.save());
        }
        if (name == "in.mp3") {
            TagLib::MPEG::File mp3(file(name).c_str());
            mp3.ID3v2Tag(true)->addFrame(new TagLib::ID3v2::TextIdentificationFrame("TLEN"));
            mp3.ID3v2Tag()->frameList("TLEN").front()->setText("4294967295");
            ASSERT_TRUE(mp3.save());
        }
        const ChildResult result = cvnhost({"encode", "--overwrite", file(name), file("out.mp3")});
        ASSERT_EQ(result.exitStatus, 0) << name << ": " << result.errors;
        const std::map<std::string, std::string> frames = readId3v2WithMutagen(file("out.mp3"));
        EXPECT_EQ(frames.count("TSSE") ? frames.at("TSSE") : "(missing)", lamesOwn) << name;
        EXPECT_EQ(frames.count("TENC") ? frames.at("TENC") : "(missing)", "Jane Ripper") << name;
        EXPECT_EQ(frames.count("TLEN"), 0u) << name;
        for (const auto& [key, value] : frames) {
            EXPECT_EQ(value.find("Lav"), std::string::npos) << name << ": " << key << "=" << value;
        }
    }
}

// The tags of containers whose names TagLib does not map reach the ID3v2 tag as a FLAC file's do:
// a Matroska file's, which FFmpeg reads, and the freeform MP4 items under MusicBrainz Picard's
// names, under the TXXX descriptions Picard gives them in ID3v2.
TEST_F(CvnhostTest, MatroskaTagsAndPicardsMp4NamesReachTheId3v2Tag) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.5}));
    const std::map<std::string, std::string> common = {
        {"TIT2", "T1"}, {"TPE1", "Art"}, {"TALB", "Alb"}, {"TPE2", "Band"}, {"TRCK", "1/9"}, {"TPOS", "2"},
    };
    for (const char* name : {"in.mka", "in.m4a"}) {
        ASSERT_EQ(
            runProgram(
                "/usr/bin/ffmpeg",
                {"-nostdin",  "-loglevel",    "error",     "-y",
                 "-i",        file("in.wav"), "-c:a",      std::string(name) == "in.mka" ? "flac" : "alac",
                 "-metadata", "title=T1",     "-metadata", "artist=Art",
                 "-metadata", "album=Alb",    "-metadata", "album_artist=Band",
                 "-metadata", "track=1/9",    "-metadata", "disc=2",
                 file(name)})
                .exitStatus,
            0)
            << name;
    }
    const std::vector<std::pair<std::string, std::string>> picard = {
        {"Acoustid Id", "TXXX:Acoustid Id"},
        {"Acoustid Fingerprint", "TXXX:Acoustid Fingerprint"},
        {"MusicBrainz Disc Id", "TXXX:MusicBrainz Disc Id"},
        {"MusicBrainz Original Album Id", "TXXX:MusicBrainz Original Album Id"},
        {"MusicBrainz Original Artist Id", "TXXX:MusicBrainz Original Artist Id"},
        {"MusicBrainz TRM Id", "TXXX:MusicBrainz TRM Id"},
        {"MusicIP PUID", "TXXX:MusicIP PUID"},
        {"MusicBrainz Album Id", "TXXX:MusicBrainz Album Id"},
        {"MusicBrainz Album Type", "TXXX:MusicBrainz Album Type"},
        {"Writer", "TXXX:Writer"},
    };
    {
        TagLib::MP4::File m4a(file("in.m4a").c_str());
        for (const auto& [freeform, frame] : picard) {
            m4a.tag()->setItem("----:com.apple.iTunes:" + freeform, TagLib::StringList(freeform + " value"));
        }
        ASSERT_TRUE(m4a.save());
    }
    for (const char* name : {"in.mka", "in.m4a"}) {
        const ChildResult result = cvnhost({"encode", "--overwrite", "--quiet", file(name), file("out.mp3")});
        ASSERT_EQ(result.exitStatus, 0) << name << ": " << result.errors;
        const std::map<std::string, std::string> frames = readId3v2WithMutagen(file("out.mp3"));
        for (const auto& [key, value] : common) {
            EXPECT_EQ(frames.count(key) ? frames.at(key) : "(missing)", value) << name << " " << key;
        }
        if (std::string(name) == "in.m4a") {
            for (const auto& [freeform, frame] : picard) {
                EXPECT_EQ(frames.count(frame) ? frames.at(frame) : "(missing)", freeform + " value") << frame;
            }
        }
    }
}

// A track number above 255, which the ID3v1 tag's byte cannot hold, is no number there and whole
// in TRCK, from every place a number comes from; a copied MP3 gets its ID3v1 tag made again.
TEST_F(CvnhostTest, ATrackNumberAboveAByteIsWholeInId3v2AndNoneInId3v1) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.5}));
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.flac"), {"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 0.5}));
    {
        TagLib::FLAC::File flac(file("in.flac").c_str());
        TagLib::PropertyMap properties;
        properties["TRACKNUMBER"] = TagLib::StringList("300");
        properties["TRACKTOTAL"] = TagLib::StringList("310");
        flac.setProperties(properties);
        ASSERT_TRUE(flac.save());
    }
    writeText(file("tracks.jsonl"), "{\"input\": \"" + file("in.wav") + "\", \"output\": \"" +
                                        file("manifest.mp3") + "\", \"tags\": {\"track\": \"300/310\"}}\n");
    struct Case {
        std::vector<std::string> arguments;
        std::string output, trackFrame;
        int id3v1Track;
    };
    const std::vector<Case> cases = {
        {{"--track", "300/310", file("in.wav"), file("option.mp3")}, "option.mp3", "300/310", 0},
        {{"--track", "255", file("in.wav"), file("byte.mp3")}, "byte.mp3", "255", 255},
        {{"--manifest", file("tracks.jsonl")}, "manifest.mp3", "300/310", 0},
        {{file("in.flac"), file("flac.mp3")}, "flac.mp3", "300/310", 0},
        {{"--lossy", "copy", file("manifest.mp3"), file("copy.mp3")}, "copy.mp3", "300/310", 0},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"encode"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const ChildResult result = cvnhost(arguments);
        ASSERT_EQ(result.exitStatus, 0) << c.output << ": " << result.errors;
        const std::map<std::string, std::string> frames = readId3v2WithMutagen(file(c.output));
        EXPECT_EQ(frames.count("TRCK") ? frames.at("TRCK") : "(missing)", c.trackFrame) << c.output;
        EXPECT_EQ(readId3v1(file(c.output)).track, c.id3v1Track) << c.output;
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

} // namespace
} // namespace cvn::test
