// The formats a music library holds beyond WAV, FLAC, Ogg and MP3, made with ffmpeg's encoders and
// tagged with TagLib as their own taggers would: each encodes to the source's length (the priming
// and padding of AAC removed), with its tags and cover; damaged and protected files are refused.
#include "cvnhost_fixture.h"
#include "support/audio_tools.h"

#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/fileref.h>
#include <taglib/mp4file.h>
#include <taglib/tpropertymap.h>
#include <taglib/wavpackfile.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace cvn::test {
namespace {

namespace fs = std::filesystem;

constexpr int kSourceFrames = 3 * 44100;
const std::string kPng("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);

// The `source` file through ffmpeg with the `encoder` options into `path`.
void makeWithFfmpeg(const std::string& path, const std::vector<std::string>& encoder,
                    const std::string& source) {
    std::vector<std::string> arguments = {"-nostdin", "-loglevel", "error", "-y", "-i", source};
    arguments.insert(arguments.end(), encoder.begin(), encoder.end());
    arguments.push_back(path);
    const ChildResult result = runProgram("/usr/bin/ffmpeg", arguments);
    ASSERT_EQ(result.exitStatus, 0) << path << ": " << result.errors;
}

// Title and artist as properties, and a front cover in the container's own way.
void tag(const std::string& path) {
    TagLib::FileRef reference(path.c_str());
    ASSERT_FALSE(reference.isNull()) << path;
    TagLib::PropertyMap properties;
    properties["TITLE"] =
        TagLib::StringList(("Title of " + std::filesystem::path(path).filename().string()).c_str());
    properties["ARTIST"] = TagLib::StringList("Artist");
    reference.file()->setProperties(properties);
    const TagLib::ByteVector png(kPng.data(), static_cast<unsigned>(kPng.size()));
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(reference.file())) {
        mp4->tag()->setItem("covr", TagLib::MP4::CoverArtList().append(
                                        TagLib::MP4::CoverArt(TagLib::MP4::CoverArt::PNG, png)));
    } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(reference.file())) {
        TagLib::ASF::Picture picture;
        picture.setType(TagLib::ASF::Picture::FrontCover);
        picture.setMimeType("image/png");
        picture.setPicture(png);
        asf->tag()->addAttribute("WM/Picture", TagLib::ASF::Attribute(picture));
    } else if (auto* wavPack = dynamic_cast<TagLib::WavPack::File*>(reference.file())) {
        wavPack->APETag(true)->setData("COVER ART (FRONT)", TagLib::ByteVector("cover.png\0", 10) + png);
    }
    ASSERT_TRUE(reference.save()) << path;
}

TEST_F(CvnhostTest, EveryFormatOfALibraryEncodesWhole) {
    const std::string source = file("source.wav");
    ASSERT_NO_FATAL_FAILURE(writeAudio(source, {"", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 2, 3.0}));
    struct Case {
        std::string name;
        std::vector<std::string> encoder;
        int frames; // 0: as ffmpeg decodes the input (a codec without gapless information)
        bool tagged;
    };
    const std::vector<Case> cases = {
        {"alac.m4a", {"-c:a", "alac"}, kSourceFrames, true},
        {"aac.m4a", {"-c:a", "aac"}, kSourceFrames, true}, // the index (moov) at the end, an edit list
        {"aac-front.m4a", {"-c:a", "aac", "-movflags", "+faststart"}, kSourceFrames, false},
        {"wavpack.wv", {"-c:a", "wavpack"}, kSourceFrames, true},
        {"wma.wma", {"-c:a", "wmav2"}, 0, true},
        {"tta.tta", {"-c:a", "tta"}, kSourceFrames, false},
        {"surround.flac",
         {"-af", "pan=5.1|c0=c0|c1=c1|c2=c0|c3=c0|c4=c0|c5=c1", "-c:a", "flac"},
         kSourceFrames,
         false},
        {"video.mp4",
         {"-f", "lavfi", "-i", "color=c=red:s=64x64:d=3", "-shortest", "-c:v", "mpeg4", "-c:a", "aac"},
         kSourceFrames,
         false},
    };
    for (const Case& c : cases) {
        ASSERT_NO_FATAL_FAILURE(makeWithFfmpeg(file(c.name), c.encoder, source)) << c.name;
        if (c.tagged) {
            ASSERT_NO_FATAL_FAILURE(tag(file(c.name))) << c.name;
        }
        const std::string output = file(c.name + ".mp3");
        const ChildResult result = cvnhost({"encode", "--quiet", file(c.name), output});
        ASSERT_EQ(result.exitStatus, 0) << c.name << ": " << result.errors;
        const size_t expected =
            c.frames != 0 ? static_cast<size_t>(c.frames) : decodeWithFfmpeg(file(c.name)).samples.size() / 2;
        EXPECT_EQ(decodeWithFfmpeg(output).samples.size() / 2, expected) << c.name;
        if (c.tagged) {
            const std::map<std::string, std::string> frames = readId3v2WithMutagen(output);
            EXPECT_EQ(frames.count("TIT2") ? frames.at("TIT2") : "", "Title of " + c.name) << c.name;
            EXPECT_EQ(frames.count("TPE1") ? frames.at("TPE1") : "", "Artist") << c.name;
            EXPECT_EQ(frames.count("APIC") ? frames.at("APIC") : "", "image/png 16 3") << c.name;
        }
    }
}

// An iTunSMPB tag gives an AAC file without an edit list its priming, padding and length.
TEST_F(CvnhostTest, AnITunSmpbTagTrimsAnAacFileToItsLength) {
    const std::string source = file("source.wav");
    ASSERT_NO_FATAL_FAILURE(writeAudio(source, {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 3.0}));
    ASSERT_NO_FATAL_FAILURE(
        makeWithFfmpeg(file("itunes.m4a"), {"-c:a", "aac", "-use_editlist", "0"}, source));
    {
        TagLib::MP4::File m4a(file("itunes.m4a").c_str());
        m4a.tag()->setItem(
            "----:com.apple.iTunes:iTunSMPB",
            TagLib::StringList(" 00000000 00000400 00000334 00000000000204CC 00000000 00000000"));
        ASSERT_TRUE(m4a.save());
    }
    ASSERT_EQ(cvnhost({"encode", "--quiet", file("itunes.m4a"), file("itunes.mp3")}).exitStatus, 0);
    EXPECT_EQ(decodeWithFfmpeg(file("itunes.mp3")).samples.size() / 2, static_cast<size_t>(kSourceFrames));
}

// A damaged, a protected and an empty file are refused with their causes, and the batch goes on.
TEST_F(CvnhostTest, DamagedAndProtectedFilesAreRefusedAndTheBatchGoesOn) {
    const std::string source = file("source.wav");
    ASSERT_NO_FATAL_FAILURE(writeAudio(source, {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 3.0}));
    fs::create_directory(file("lib"));
    ASSERT_NO_FATAL_FAILURE(makeWithFfmpeg(file("lib/whole.m4a"), {"-c:a", "alac"}, source));
    ASSERT_NO_FATAL_FAILURE(
        makeWithFfmpeg(file("front.m4a"), {"-c:a", "alac", "-movflags", "+faststart"}, source));
    const std::vector<uint8_t> whole = readFileBytes(file("front.m4a"));
    std::ofstream(file("lib/cut.m4a"), std::ios::binary)
        .write(reinterpret_cast<const char*>(whole.data()), static_cast<std::streamsize>(whole.size() / 2));
    ASSERT_NO_FATAL_FAILURE(makeWithFfmpeg(file("aac.m4a"), {"-c:a", "aac"}, source));
    std::vector<uint8_t> bytes = readFileBytes(file("aac.m4a"));
    const auto entry = std::search(bytes.begin(), bytes.end(), std::begin("mp4a"), std::end("mp4a") - 1);
    ASSERT_NE(entry, bytes.end());
    std::copy_n("drms", 4, entry); // the sample entry of an encrypted iTunes Store purchase
    std::ofstream(file("lib/bought.m4p"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_NO_FATAL_FAILURE(makeWithFfmpeg(file("lib/empty.wv"), {"-t", "0", "-c:a", "wavpack"}, source));
    const ChildResult result = cvnhost({"encode", "--out-dir", file("out"), file("lib")});
    EXPECT_EQ(result.exitStatus, 1) << result.errors;
    for (const std::string expected :
         {"cut.m4a: is damaged or truncated", "bought.m4p: is protected (DRM)", "empty.wv: is not audio"}) {
        EXPECT_NE(result.errors.find(expected), std::string::npos) << expected << "\n" << result.errors;
    }
    EXPECT_EQ(namesIn(file("out")), std::vector<std::string>{"whole.mp3"});
}

} // namespace
} // namespace cvn::test
