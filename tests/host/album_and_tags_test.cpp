// The values a player and a tagger trust most, read back with ffmpeg and mutagen: one album gain
// per album however the run is cut, peaks of the MP3 itself, mono measured as one channel, and
// every value of every tag in the frames of ID3v2.3 and 2.4.
#include "cvnhost_fixture.h"
#include "support/audio_tools.h"

#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/tpropertymap.h>

#include <filesystem>
#include <map>

namespace cvn::test {
namespace {

namespace fs = std::filesystem;

class AlbumTest : public CvnhostTest {
  protected:
    // The peak written is the MP3's as libmpg123 decodes it, and ffmpeg's decoder finds the same
    // within half a percent.
    static void expectDecodedPeak(double written, const std::string& output) {
        EXPECT_NEAR(written, decodedPeakWithMpg123(output), 1e-6) << output;
        EXPECT_NEAR(written, decodedPeakWithFfmpeg(output), written * 0.005) << output;
    }
    // The ReplayGain values of an output, by their names without REPLAYGAIN_; -100 where missing.
    std::map<std::string, double> gains(const std::string& output) {
        std::map<std::string, double> values;
        const std::map<std::string, std::string> frames = readId3v2WithMutagen(output);
        for (const char* name : {"TRACK_GAIN", "TRACK_PEAK", "ALBUM_GAIN", "ALBUM_PEAK"}) {
            const auto found = frames.find(std::string("TXXX:REPLAYGAIN_") + name);
            values[name] = found == frames.end() ? -100.0 : std::stod(found->second);
        }
        return values;
    }
};

// An album is its album artist and title, wherever its folders are: the two discs of X in cd1/ and
// cd2/ are one album, Y another. A single run, a re-run that encodes one missing track, and two
// shards give every track of an album one album gain, equal within 0.01 dB, ffmpeg's measure of
// the album within 0.1; every peak is the decoded MP3's, and the album peak the largest of them.
TEST_F(AlbumTest, AlbumGainIsOneValuePerAlbumHoweverTheRunIsCut) {
    const int flac = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    struct Track {
        std::string path, album;
        double seconds;
        float amplitude;
    };
    const std::vector<Track> tracks = {{"lib/cd1/loud.flac", "X", 4.0, 0.5f},
                                       {"lib/cd2/quiet.flac", "X", 6.0, 0.2f},
                                       {"lib/cd2/mid.flac", "X", 3.0, 0.3f},
                                       {"lib/y/other.flac", "Y", 3.0, 0.1f}};
    for (const Track& track : tracks) {
        fs::create_directories(fs::path(file(track.path)).parent_path());
        Metadata tags;
        tags.album = track.album;
        tags.artist = "Band";
        ASSERT_NO_FATAL_FAILURE(
            writeAudio(file(track.path), {"", flac, 44100, 2, track.seconds, track.amplitude}, tags));
    }
    const auto encode = [&](const std::string& out, const std::vector<std::string>& more) {
        std::vector<std::string> arguments = {"encode", "--quiet",   "--replaygain",
                                              "album",  "--out-dir", file(out)};
        arguments.insert(arguments.end(), more.begin(), more.end());
        arguments.push_back(file("lib"));
        const ChildResult result = cvnhost(arguments);
        EXPECT_EQ(result.exitStatus, 0) << out << ": " << result.errors;
    };
    encode("single", {});
    encode("rerun", {});
    fs::remove(file("rerun/cd2/mid.mp3"));
    encode("rerun", {});
    encode("shards", {"--shard", "1/2"});
    encode("shards", {"--shard", "2/2"});
    const double albumX = -18 - loudnessWithFfmpeg({file("lib/cd1/loud.flac"), file("lib/cd2/mid.flac"),
                                                    file("lib/cd2/quiet.flac")});
    for (const std::string run : {"single", "rerun", "shards"}) {
        double peakX = 0;
        for (const std::string name : {"cd1/loud.mp3", "cd2/quiet.mp3", "cd2/mid.mp3"}) {
            const std::string output = file(run + "/" + name);
            const std::map<std::string, double> values = gains(output);
            EXPECT_NEAR(values.at("ALBUM_GAIN"), gains(file("single/cd1/loud.mp3")).at("ALBUM_GAIN"), 0.01)
                << run << " " << name;
            EXPECT_NEAR(values.at("ALBUM_GAIN"), albumX, 0.1) << run << " " << name;
            expectDecodedPeak(values.at("TRACK_PEAK"), output);
            peakX = std::max(peakX, values.at("TRACK_PEAK"));
        }
        EXPECT_EQ(gains(file(run + "/cd2/mid.mp3")).at("ALBUM_PEAK"), peakX) << run;
        const std::map<std::string, double> other = gains(file(run + "/y/other.mp3"));
        EXPECT_EQ(other.at("ALBUM_GAIN"), other.at("TRACK_GAIN")) << run << ": an album of one track";
    }
}

// A square wave at 0.98 of full scale decodes to far above it: the peak written is the MP3's. A
// mono output is measured as one channel, as ffmpeg's ebur128 measures a mono file.
TEST_F(AlbumTest, PeaksAreTheMp3sOwnAndMonoIsOneChannel) {
    SNDFILE* out = openForWriting(file("square.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2);
    ASSERT_NE(out, nullptr);
    std::vector<short> samples(44100 * 2 * 3);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<short>((i / 2) % 100 < 50 ? 32112 : -32112);
    }
    sf_writef_short(out, samples.data(), static_cast<sf_count_t>(samples.size() / 2));
    sf_close(out);
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("mono.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, 5.0}));
    for (const std::string name : {"square", "mono"}) {
        const ChildResult result =
            cvnhost({"encode", "--replaygain", "track", file(name + ".wav"), file(name + ".mp3")});
        ASSERT_EQ(result.exitStatus, 0) << result.errors;
        const std::map<std::string, double> values = gains(file(name + ".mp3"));
        expectDecodedPeak(values.at("TRACK_PEAK"), file(name + ".mp3"));
        EXPECT_NEAR(values.at("TRACK_GAIN"), -18 - loudnessWithFfmpeg({file(name + ".wav")}), 0.1) << name;
    }
    EXPECT_GT(gains(file("square.mp3")).at("TRACK_PEAK"), 1.0) << "above full scale, as decoded";
}

// Every field of a tagged FLAC lands in its frame, every value of it: in 2.4 as separate values,
// in 2.3 joined by "/" (people and genres, as 2.3 has it), the comment in COMM, the frames 2.3
// lacks as TXXX, every picture with its type, and the ID3v1 tag gets the year.
TEST_F(CvnhostTest, EveryValueOfEveryTagReachesItsFrame) {
    const std::map<std::string, std::vector<std::string>> texts = {
        {"TITLE", {"Title"}},
        {"ARTIST", {"Singer One", "Singer Two"}},
        {"GENRE", {"Rock", "Pop"}},
        {"COMPOSER", {"C1", "C2"}},
        {"ALBUMARTIST", {"Band", "Guest"}},
        {"COMMENT", {"made by sox", "second"}},
        {"MOOD", {"Calm"}},
        {"ORIGINALDATE", {"1999-03-04"}},
        {"RELEASEDATE", {"2001-05-06"}},
        {"DISCSUBTITLE", {"Live"}},
        {"DATE", {"2001-02-03"}},
    };
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.flac"), {"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 0.5}));
    {
        TagLib::FLAC::File input(file("in.flac").c_str());
        TagLib::PropertyMap properties;
        for (const auto& [key, values] : texts) {
            for (const std::string& value : values) {
                properties[key].append(TagLib::String(value, TagLib::String::UTF8));
            }
        }
        input.setProperties(properties);
        const std::vector<std::pair<TagLib::FLAC::Picture::Type, std::string>> pictures = {
            {TagLib::FLAC::Picture::FrontCover, "Front"},
            {TagLib::FLAC::Picture::BackCover, "Bäck"},
            {TagLib::FLAC::Picture::Other, "封面"}};
        for (const auto& [type, description] : pictures) {
            auto* picture = new TagLib::FLAC::Picture;
            picture->setType(type);
            picture->setMimeType("image/png");
            picture->setDescription(TagLib::String(description, TagLib::String::UTF8));
            picture->setData(TagLib::ByteVector("\x89PNG\r\n\x1a\n", 8));
            input.addPicture(picture);
        }
        ASSERT_TRUE(input.save());
    }
    struct Row {
        std::string v23key, v23value, v24key, v24value;
    };
    const std::vector<Row> rows = {
        {"TIT2", "Title", "TIT2", "Title"},
        {"TPE1", "Singer One/Singer Two", "TPE1", "Singer One|Singer Two"},
        {"TCON", "Rock/Pop", "TCON", "Rock|Pop"},
        {"TCOM", "C1/C2", "TCOM", "C1|C2"},
        {"TPE2", "Band/Guest", "TPE2", "Band|Guest"},
        {"COMM::XXX", "made by sox\\nsecond", "COMM::XXX", "made by sox\\nsecond"},
        {"TXXX:MOOD", "Calm", "TMOO", "Calm"},
        {"TXXX:ORIGINALDATE", "1999-03-04", "TDOR", "1999-03-04"},
        {"TORY", "1999", "TDOR", "1999-03-04"},
        {"TXXX:RELEASEDATE", "2001-05-06", "TDRL", "2001-05-06"},
        {"TXXX:DISCSUBTITLE", "Live", "TSST", "Live"},
        {"TYER", "2001", "TDRC", "2001-02-03"},
        {"APIC:Front", "3 0 image/png", "APIC:Front", "3 0 image/png"},
        {"APIC:Bäck", "4 0 image/png", "APIC:Bäck", "4 0 image/png"},
        {"APIC:封面", "0 1 image/png", "APIC:封面", "0 3 image/png"},
    };
    for (const std::string version : {"3", "4"}) {
        const std::string output = file("out" + version + ".mp3");
        const ChildResult result = cvnhost({"encode", "--id3v2-version", version, file("in.flac"), output});
        ASSERT_EQ(result.exitStatus, 0) << result.errors;
        const std::map<std::string, std::string> frames = readId3v2FramesAsWritten(output);
        EXPECT_EQ(frames.at("VERSION"), "2." + version);
        for (const Row& row : rows) {
            const std::string& key = version == "3" ? row.v23key : row.v24key;
            const std::string& value = version == "3" ? row.v23value : row.v24value;
            EXPECT_EQ(frames.count(key) ? frames.at(key) : "(missing)", value)
                << "2." << version << " " << key;
        }
        const std::vector<uint8_t> bytes = readFileBytes(output);
        EXPECT_EQ(std::string(bytes.end() - 128 + 93, bytes.end() - 128 + 97), "2001") << "ID3v1 year";
    }
    // An MP3 input's picture of type 0 stays of type 0.
    ASSERT_EQ(cvnhost({"encode", "--overwrite", file("out4.mp3"), file("again.mp3")}).exitStatus, 0);
    EXPECT_EQ(readId3v2FramesAsWritten(file("again.mp3")).at("APIC:封面"), "0 1 image/png");
}

// The tags MusicBrainz Picard writes into a FLAC file reach the frames Picard writes into an MP3
// (its ID3 tag mapping), TXXX descriptions in its case; an MP3 input so tagged gives them again.
TEST_F(CvnhostTest, PicardsTagsReachPicardsFrames) {
    const std::map<std::string, std::string> texts = {
        {"TITLE", "Title"},
        {"MUSICBRAINZ_ALBUMID", "album-id"},
        {"MUSICBRAINZ_ARTISTID", "artist-id"},
        {"MUSICBRAINZ_ALBUMARTISTID", "album-artist-id"},
        {"MUSICBRAINZ_RELEASEGROUPID", "group-id"},
        {"MUSICBRAINZ_TRACKID", "recording-id"},
        {"MUSICBRAINZ_RELEASETRACKID", "track-id"},
        {"MUSICBRAINZ_WORKID", "work-id"},
        {"MUSICBRAINZ_DISCID", "disc-id"},
        {"MUSICBRAINZ_ORIGINALALBUMID", "original-album-id"},
        {"MUSICBRAINZ_ORIGINALARTISTID", "original-artist-id"},
        {"MUSICBRAINZ_TRMID", "trm-id"},
        {"RELEASETYPE", "album"},
        {"RELEASESTATUS", "official"},
        {"RELEASECOUNTRY", "GB"},
        {"MUSICIP_PUID", "puid"},
        {"FINGERPRINT", "musicmagic"},
        {"ACOUSTID_ID", "acoustid"},
        {"ACOUSTID_FINGERPRINT", "AQAA"},
        {"BARCODE", "5012345678900"},
        {"CATALOGNUMBER", "CAT 1"},
        {"ASIN", "B000002UAL"},
        {"SCRIPT", "Latn"},
        {"LICENSE", "cc-by"},
        {"ARTISTS", "Artist"},
        {"WRITER", "Writer"},
        {"KEY", "Am"},
        {"WEBSITE", "http://example.org/"},
        {"MOVEMENT", "2"},
        {"MOVEMENTTOTAL", "4"},
        {"LABEL", "Label"},
        {"MEDIA", "CD"},
        {"ORIGINALDATE", "1999-03-04"},
    };
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.flac"), {"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 0.5}));
    {
        TagLib::FLAC::File input(file("in.flac").c_str());
        TagLib::PropertyMap properties;
        for (const auto& [key, value] : texts) {
            properties[key] = TagLib::StringList(TagLib::String(value, TagLib::String::UTF8));
        }
        input.setProperties(properties);
        ASSERT_TRUE(input.save());
    }
    struct Row {
        std::string frame, value, valueIn23; // valueIn23 empty: the same
    };
    const std::vector<Row> rows = {
        {"TXXX:MusicBrainz Album Id", "album-id", ""},
        {"TXXX:MusicBrainz Artist Id", "artist-id", ""},
        {"TXXX:MusicBrainz Album Artist Id", "album-artist-id", ""},
        {"TXXX:MusicBrainz Release Group Id", "group-id", ""},
        {"UFID:http://musicbrainz.org", "UFID(owner='http://musicbrainz.org', data=b'recording-id')", ""},
        {"TXXX:MusicBrainz Release Track Id", "track-id", ""},
        {"TXXX:MusicBrainz Work Id", "work-id", ""},
        {"TXXX:MusicBrainz Disc Id", "disc-id", ""},
        {"TXXX:MusicBrainz Original Album Id", "original-album-id", ""},
        {"TXXX:MusicBrainz Original Artist Id", "original-artist-id", ""},
        {"TXXX:MusicBrainz TRM Id", "trm-id", ""},
        {"TXXX:MusicBrainz Album Type", "album", ""},
        {"TXXX:MusicBrainz Album Status", "official", ""},
        {"TXXX:MusicBrainz Album Release Country", "GB", ""},
        {"TXXX:MusicIP PUID", "puid", ""},
        {"TXXX:MusicMagic Fingerprint", "musicmagic", ""},
        {"TXXX:Acoustid Id", "acoustid", ""},
        {"TXXX:Acoustid Fingerprint", "AQAA", ""},
        {"TXXX:BARCODE", "5012345678900", ""},
        {"TXXX:CATALOGNUMBER", "CAT 1", ""},
        {"TXXX:ASIN", "B000002UAL", ""},
        {"TXXX:SCRIPT", "Latn", ""},
        {"TXXX:LICENSE", "cc-by", ""},
        {"TXXX:ARTISTS", "Artist", ""},
        {"TXXX:Writer", "Writer", ""},
        {"TKEY", "Am", ""},
        {"WOAR:http://example.org/", "http://example.org/", ""},
        {"MVIN", "2/4", ""},
        {"TPUB", "Label", ""},
        {"TMED", "CD", ""},
        {"TDOR", "1999-03-04", "1999"},
        {"TXXX:ORIGINALDATE", "(missing)", "1999-03-04"},
    };
    struct Case {
        std::string input, output, version;
    };
    // Each MP3 made from the FLAC is the input of the next of its version.
    const std::vector<Case> cases = {{"in.flac", "out4.mp3", "4"},
                                     {"in.flac", "out3.mp3", "3"},
                                     {"out4.mp3", "again4.mp3", "4"},
                                     {"out3.mp3", "again3.mp3", "3"}};
    for (const Case& c : cases) {
        const ChildResult result =
            cvnhost({"encode", "--id3v2-version", c.version, file(c.input), file(c.output)});
        ASSERT_EQ(result.exitStatus, 0) << result.errors;
        const std::map<std::string, std::string> frames = readId3v2WithMutagen(file(c.output));
        for (const Row& row : rows) {
            const std::string& value = c.version == "3" && !row.valueIn23.empty() ? row.valueIn23 : row.value;
            EXPECT_EQ(frames.count(row.frame) ? frames.at(row.frame) : "(missing)", value)
                << c.input << " in 2." << c.version << ": " << row.frame;
        }
        for (const auto& [key, value] : frames) {
            EXPECT_EQ(key.find("TXXX:MUSICBRAINZ"), std::string::npos) << c.input << ": " << key;
        }
    }
}

} // namespace
} // namespace cvn::test
