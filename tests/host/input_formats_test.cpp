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
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>

namespace cvn::test {
namespace {

namespace fs = std::filesystem;

constexpr int kSourceFrames = 3 * 44100;
const std::string kPng("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);

// The tests that make their inputs with ffmpeg skip where it is not installed.
#define SKIP_WITHOUT_FFMPEG()                                                                                \
    if (!fs::exists("/usr/bin/ffmpeg")) {                                                                    \
        GTEST_SKIP() << "ffmpeg makes the inputs";                                                           \
    }

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

// Its first `fraction` of bytes.
void writeFirstPart(const std::string& from, const std::string& to, double fraction) {
    const std::vector<uint8_t> whole = readFileBytes(from);
    std::ofstream(to, std::ios::binary)
        .write(reinterpret_cast<const char*>(whole.data()),
               static_cast<std::streamsize>(whole.size() * fraction));
}

// A file cut short of the length its container states fails with what it holds against that length;
// the rest of the batch is encoded.
TEST_F(CvnhostTest, InputsEndingShortOfTheLengthTheyStateAreRefused) {
    SKIP_WITHOUT_FFMPEG();
    const std::string source = file("source.wav");
    ASSERT_NO_FATAL_FAILURE(writeAudio(source, {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 4.0}));
    struct Case {
        std::string name;
        std::vector<std::string> encoder;
        std::string statedBy;
    };
    const std::vector<Case> cases = {
        {"flac.mka", {"-c:a", "flac"}, "its Matroska Segment Info"},
        {"pcm.mka", {"-c:a", "pcm_s16le"}, "its Matroska Segment Info"},
        {"xing.mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}, "its Xing header"},
    };
    fs::create_directory(file("lib"));
    ASSERT_NO_FATAL_FAILURE(makeWithFfmpeg(file("lib/whole.mka"), {"-c:a", "flac"}, source));
    for (const Case& c : cases) {
        ASSERT_NO_FATAL_FAILURE(makeWithFfmpeg(file(c.name), c.encoder, source));
        writeFirstPart(file(c.name), file("lib/cut-" + c.name), 0.6);
    }
    const ChildResult result = cvnhost({"encode", "--out-dir", file("out"), file("lib")});
    EXPECT_EQ(result.exitStatus, 1) << result.errors;
    for (const Case& c : cases) {
        const std::regex refusal("cut-" + c.name +
                                 ": is truncated: it holds 2\\.[0-9]{2} s \\([0-9]+ frames\\) of the " +
                                 "4\\.00 s \\(176400 frames\\) " + c.statedBy + " states");
        EXPECT_TRUE(std::regex_search(result.errors, refusal)) << c.name << "\n" << result.errors;
    }
    EXPECT_EQ(namesIn(file("out")), std::vector<std::string>{"whole.mp3"});
}

// A source cut short after its output was made is encoded again by --update, not taken for
// unchanged (a FLAC file's STREAMINFO digest outlives the cut), and fails naming the input; the
// output stands byte for byte.
TEST_F(CvnhostTest, AnUpdateOfASourceCutShortFailsNamingItAndKeepsTheOutput) {
    SKIP_WITHOUT_FFMPEG();
    const std::string source = file("source.wav");
    ASSERT_NO_FATAL_FAILURE(writeAudio(source, {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 4.0}));
    fs::create_directory(file("lib"));
    ASSERT_NO_FATAL_FAILURE(makeWithFfmpeg(file("lib/a.flac"), {"-c:a", "flac"}, source));
    ASSERT_NO_FATAL_FAILURE(
        makeWithFfmpeg(file("lib/b.mp3"), {"-c:a", "libmp3lame", "-b:a", "128k"}, source));
    const std::vector<std::string> update = {"encode", "--quiet",   "--update",  "--lossy",
                                             "copy",   "--out-dir", file("out"), file("lib")};
    ASSERT_EQ(cvnhost(update).exitStatus, 0);
    const std::vector<std::string> names = {"a", "b"};
    std::map<std::string, std::vector<uint8_t>> outputs;
    for (const std::string& name : names) {
        outputs[name] = readFileBytes(file("out/" + name + ".mp3"));
    }
    for (const char* input : {"lib/a.flac", "lib/b.mp3"}) {
        writeFirstPart(file(input), file("cut"), 0.6);
        fs::rename(file("cut"), file(input));
    }
    const ChildResult result = cvnhost(update);
    EXPECT_EQ(result.exitStatus, 1) << result.errors;
    for (const char* input : {"lib/a.flac", "lib/b.mp3"}) {
        EXPECT_TRUE(
            std::regex_search(result.errors, std::regex(file(input) + ":? (is truncated|cannot be decoded)")))
            << input << "\n"
            << result.errors;
    }
    EXPECT_EQ(result.errors.find(file("out/b.mp3") + " is truncated"), std::string::npos)
        << "the output is whole: " << result.errors;
    for (const std::string& name : names) {
        EXPECT_EQ(readFileBytes(file("out/" + name + ".mp3")), outputs[name]) << name;
    }
}

// WavPack is lossy only when hybrid, as its blocks' headers say: --lossy skip leaves out none of
// the lossless files, whether ffmpeg or wavpack made them.
TEST_F(CvnhostTest, OnlyHybridWavPackIsLossy) {
    SKIP_WITHOUT_FFMPEG();
    const std::string source = file("source.wav");
    ASSERT_NO_FATAL_FAILURE(writeAudio(source, {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 1.0}));
    fs::create_directory(file("lib"));
    ASSERT_NO_FATAL_FAILURE(makeWithFfmpeg(file("lib/ffmpeg.wv"), {"-c:a", "wavpack"}, source));
    struct Case {
        std::string name;
        std::vector<std::string> options;
        bool lossy;
    };
    const std::vector<Case> wavPacks = {{"lossless.wv", {}, false}, {"hybrid.wv", {"-b256"}, true}};
    const bool wavPackInstalled = fs::exists("/usr/bin/wavpack"); // not needed by the build
    for (const Case& c : wavPackInstalled ? wavPacks : std::vector<Case>{}) {
        std::vector<std::string> arguments = {"-q", "-y"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.insert(arguments.end(), {source, "-o", file("lib/" + c.name)});
        ASSERT_EQ(runProgram("/usr/bin/wavpack", arguments).exitStatus, 0) << c.name;
    }
    const ChildResult result =
        cvnhost({"encode", "--lossy", "skip", "--dry-run", "--out-dir", file("out"), file("lib")});
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    std::vector<Case> cases = {{"ffmpeg.wv", {}, false}};
    if (wavPackInstalled) {
        cases.insert(cases.end(), wavPacks.begin(), wavPacks.end());
    }
    for (const Case& c : cases) {
        EXPECT_EQ(result.errors.find(c.name + ": lossy, left out") != std::string::npos, c.lossy)
            << c.name << "\n"
            << result.errors;
        EXPECT_EQ(result.output.find("lib/" + c.name + " -> ") != std::string::npos, !c.lossy)
            << c.name << "\n"
            << result.output;
    }
}

// An MP4 file's `stts` box with its first entry's sample count replaced by `count`.
void patchSttsCount(const std::string& path, uint32_t count) {
    std::vector<uint8_t> bytes = readFileBytes(path);
    const std::string box = "stts";
    const auto found = std::search(bytes.begin(), bytes.end(), box.begin(), box.end());
    ASSERT_NE(found, bytes.end()) << path;
    // After the name: version and flags, the number of entries, then the first entry's count.
    const auto at = found + 12;
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(count >> (24 - 8 * i));
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void setITunSmpb(const std::string& path, const std::string& text) {
    TagLib::MP4::File m4a(path.c_str());
    m4a.tag()->setItem("----:com.apple.iTunes:iTunSMPB", TagLib::StringList(text));
    ASSERT_TRUE(m4a.save()) << path;
}

// A length that the decoded audio outruns (a tag copied from another track, a sample table that
// names too few samples), or that states more than the container holds, gives way to the audio:
// every frame ffmpeg decodes is encoded, and a note names both figures.
TEST_F(CvnhostTest, StatedLengthsThatTheAudioDisprovesGiveWayToIt) {
    SKIP_WITHOUT_FFMPEG();
    const std::string source = file("source.wav");
    ASSERT_NO_FATAL_FAILURE(writeAudio(source, {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 4.0}));
    ASSERT_NO_FATAL_FAILURE(makeWithFfmpeg(file("short-tag.m4a"), {"-c:a", "aac"}, source));
    ASSERT_NO_FATAL_FAILURE(
        setITunSmpb(file("short-tag.m4a"), " 00000000 00000400 00000000 000000000000AC44"));
    ASSERT_NO_FATAL_FAILURE(makeWithFfmpeg(file("long-tag.m4a"), {"-c:a", "aac"}, source));
    ASSERT_NO_FATAL_FAILURE(
        setITunSmpb(file("long-tag.m4a"), " 00000000 00000400 00000000 00000000000D7550"));
    ASSERT_NO_FATAL_FAILURE(makeWithFfmpeg(file("stts.m4a"), {"-c:a", "alac"}, source));
    ASSERT_NO_FATAL_FAILURE(patchSttsCount(file("stts.m4a"), 3));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"short-tag.m4a", "its iTunSMPB tag says 1.00 s, the audio holds 4.0"},
        {"long-tag.m4a", "its iTunSMPB tag says 20.00 s, the audio holds 4.0"},
        {"stts.m4a", "its sample table (stts) says 0.2"},
    };
    for (const auto& [name, note] : cases) {
        const ChildResult result = cvnhost({"encode", "--quiet", file(name), file(name + ".mp3")});
        ASSERT_EQ(result.exitStatus, 0) << name << ": " << result.errors;
        EXPECT_NE(result.errors.find(name + ": " + note), std::string::npos) << result.errors;
        EXPECT_NE(result.errors.find("s: the audio is kept"), std::string::npos) << result.errors;
        EXPECT_EQ(decodeWithFfmpeg(file(name + ".mp3")).samples.size(),
                  decodeWithFfmpeg(file(name)).samples.size())
            << name;
    }
}

// EBML, as a Matroska muxer writes it: an element is its id, its size and its payload.
std::string ebmlSize(uint64_t size) {
    int length = 1;
    while (size >= (uint64_t{1} << (7 * length)) - 1) {
        ++length;
    }
    const uint64_t coded = uint64_t{1} << (7 * length) | size;
    std::string bytes;
    for (int i = length - 1; i >= 0; --i) {
        bytes += static_cast<char>(coded >> (8 * i));
    }
    return bytes;
}

std::string element(uint32_t id, const std::string& payload) {
    std::string bytes;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if ((id >> shift) != 0) {
            bytes += static_cast<char>(id >> shift);
        }
    }
    return bytes + ebmlSize(payload.size()) + payload;
}

std::string bigEndian(uint64_t value, int bytes) {
    std::string text;
    for (int i = bytes - 1; i >= 0; --i) {
        text += static_cast<char>(value >> (8 * i));
    }
    return text;
}

// A second of 16-bit stereo silence at 44100 Hz in Matroska, with `tags` simple tags before its
// one cluster (ffmpeg itself would take minutes to write that many).
void writeMatroskaWithTags(const std::string& path, int tags) {
    const std::string header =
        element(0x1A45DFA3, element(0x4282, "matroska") + element(0x4287, "\x04") + element(0x4285, "\x02"));
    const double durationMs = 1000;
    uint64_t durationBits = 0;
    std::memcpy(&durationBits, &durationMs, sizeof durationBits);
    const std::string info = element(0x1549A966, element(0x2AD7B1, bigEndian(1000000, 3)) +
                                                     element(0x4489, bigEndian(durationBits, 8)));
    const double rate = 44100;
    uint64_t rateBits = 0;
    std::memcpy(&rateBits, &rate, sizeof rateBits);
    const std::string audio = element(0xE1, element(0xB5, bigEndian(rateBits, 8)) + element(0x9F, "\x02") +
                                                element(0x6264, "\x10"));
    const std::string tracks = element(
        0x1654AE6B, element(0xAE, element(0xD7, "\x01") + element(0x73C5, "\x01") + element(0x83, "\x02") +
                                      element(0x86, "A_PCM/INT/LIT") + audio));
    std::string simpleTags;
    for (int i = 0; i < tags; ++i) {
        simpleTags +=
            element(0x67C8, element(0x45A3, "NOTE" + std::to_string(i)) + element(0x4487, "a note"));
    }
    const std::string tagElements = element(0x1254C367, element(0x7373, element(0x63C0, "") + simpleTags));
    std::string blocks;
    for (int block = 0; block < 10; ++block) {
        blocks += element(0xA3, "\x81" + bigEndian(static_cast<uint64_t>(block) * 100, 2) + "\x80" +
                                    std::string(4410 * 4, '\0'));
    }
    const std::string cluster = element(0x1F43B675, element(0xE7, std::string(1, '\0')) + blocks);
    std::ofstream(path, std::ios::binary)
        << header << element(0x18538067, info + tracks + tagElements + cluster);
}

double secondsToRun(const std::vector<std::string>& arguments, ChildResult& result) {
    const auto start = std::chrono::steady_clock::now();
    result = runProgram(CVN_HOST_PROGRAM, arguments);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// FFmpeg's demuxer searches the tags it holds for every one it adds: a Matroska file of 50,000 tags
// took it half a minute for each of cvnhost's openings. What is read of them is bounded, with a note.
TEST_F(CvnhostTest, AMatroskaFileOfThousandsOfTagsEncodesAsFastAsAPlainOne) {
    writeMatroskaWithTags(file("plain.mka"), 1);
    writeMatroskaWithTags(file("tags.mka"), 50000);
    ChildResult plain;
    const double plainSeconds = secondsToRun({"encode", file("plain.mka"), file("plain.mp3")}, plain);
    ASSERT_EQ(plain.exitStatus, 0) << plain.errors;
    ChildResult tagged;
    const double taggedSeconds = secondsToRun({"encode", file("tags.mka"), file("tags.mp3")}, tagged);
    ASSERT_EQ(tagged.exitStatus, 0) << tagged.errors;
    EXPECT_LT(taggedSeconds, 3 * plainSeconds + 2) << "a plain file takes " << plainSeconds << " s";
    EXPECT_TRUE(
        std::regex_search(tagged.errors, std::regex("tags.mka: its 50000 tags \\([0-9.]+ MB\\) are more "
                                                    "than cvnhost reads \\(1000, or 1 MB\\): the first "
                                                    "1000 are read")))
        << tagged.errors;
    EXPECT_EQ(decodeWithFfmpeg(file("tags.mp3")).samples.size(), 2u * 44100);
}

} // namespace
} // namespace cvn::test
