// Covers for a device (--cover-size): what a JPEG's frame header decides, and the covers of an
// encode, a retag and a copy as mutagen, ffprobe and ffmpeg read them back: baseline JPEG within
// the long side, laid on white, or byte for byte what the input held.
#include "audio/cover_scaling.h"
#include "cvnhost_fixture.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

namespace cvn::test {
namespace {

using Bytes = std::vector<uint8_t>;

struct Segment {
    uint8_t marker;
    Bytes payload;
};

// SOI, then each segment with its length, then some entropy-coded bytes.
Bytes jpegOf(const std::vector<Segment>& segments, Bytes fill = {}) {
    Bytes bytes = {0xFF, 0xD8};
    for (const Segment& segment : segments) {
        bytes.insert(bytes.end(), fill.begin(), fill.end());
        const size_t length = segment.payload.size() + 2;
        bytes.insert(bytes.end(), {0xFF, segment.marker, static_cast<uint8_t>(length >> 8),
                                   static_cast<uint8_t>(length & 0xFF)});
        bytes.insert(bytes.end(), segment.payload.begin(), segment.payload.end());
    }
    bytes.insert(bytes.end(), {0x12, 0x34, 0xFF, 0xD9});
    return bytes;
}

// A frame header: precision, height, width, one component.
Segment frame(uint8_t marker, int width, int height, uint8_t precision = 8) {
    return {marker,
            {precision, static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
             static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width), 1, 1, 0x11, 0}};
}

const Segment kJfif = {0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}};
const Segment kHuffmanTable = {0xC4, Bytes(29, 0)};
const Segment kScan = {0xDA, {1, 1, 0, 0, 63, 0}};

TEST(CoverFit, ABaselineJpegWithinTheLongSideIsKeptAsItIs) {
    struct Case {
        const char* what;
        Bytes picture;
        bool fits;
    };
    const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
    const Bytes cut = jpegOf({kJfif, frame(0xC0, 300, 200)});
    const std::vector<Case> cases = {
        {"baseline, wide, at the size", jpegOf({kJfif, frame(0xC0, 300, 100), kScan}), true},
        {"baseline, one pixel wider", jpegOf({kJfif, frame(0xC0, 301, 100), kScan}), false},
        {"baseline, one pixel taller", jpegOf({kJfif, frame(0xC0, 100, 301), kScan}), false},
        {"a Huffman table (C4) before the frame", jpegOf({kHuffmanTable, frame(0xC0, 64, 64), kScan}), true},
        {"fill bytes before each marker", jpegOf({kJfif, frame(0xC0, 64, 64), kScan}, {0xFF, 0xFF}), true},
        {"extended sequential (SOF1), 8 bits", jpegOf({frame(0xC1, 64, 64), kScan}), true},
        {"extended sequential (SOF1), 12 bits", jpegOf({frame(0xC1, 64, 64, 12), kScan}), false},
        {"progressive (SOF2)", jpegOf({kJfif, frame(0xC2, 64, 64), kScan}), false},
        {"height given later (DNL)", jpegOf({frame(0xC0, 64, 0), kScan}), false},
        {"a scan before any frame", jpegOf({kJfif, kScan, frame(0xC0, 64, 64)}), false},
        {"cut inside the frame header", Bytes(cut.begin(), cut.begin() + 24), false},
        {"a PNG", png, false},
        {"nothing", {}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cvnhost::fitsAsItIs(c.picture, 300), c.fits) << c.what;
    }
}

// A progressive JPEG of 64 x 32 grey pixels, as ImageMagick writes it (-interlace Plane).
constexpr const char* kProgressiveJpeg =
    "/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAFA3PEY8MlBGQUZaVVBfeMiCeG5uePWvuZHI//////////////////////////"
    "//////////////////////////wgALCAAgAEABAREA/8QAFAABAAAAAAAAAAAAAAAAAAAAAP/aAAgBAQAAAAEAAAAA/8QA"
    "FBABAAAAAAAAAAAAAAAAAAAAUP/aAAgBAQABBQID/8QAFBABAAAAAAAAAAAAAAAAAAAAUP/aAAgBAQAGPwID/8QAFBABAA"
    "AAAAAAAAAAAAAAAAAAUP/aAAgBAQABPyED/9oACAEBAAAAEAAAAAD/xAAUEAEAAAAAAAAAAAAAAAAAAABQ/9oACAEBAAE/"
    "EAP/2Q==";

// What an output's pictures are: by description, "MIME SOF WIDTHxHEIGHT" (SOF the first frame
// marker, as hex) and the bytes, each saved as `prefix` + description.
std::map<std::string, std::string> picturesOf(const std::string& mp3, const std::string& prefix) {
    const char* script =
        "import sys, subprocess, mutagen.id3\n"
        "def sof(d):\n"
        "    i = 2\n"
        "    while i + 4 <= len(d) and d[i] == 0xFF:\n"
        "        if 0xC0 <= d[i + 1] <= 0xCF and d[i + 1] not in (0xC4, 0xC8, 0xCC):\n"
        "            return '%X' % d[i + 1]\n"
        "        i += 2 + int.from_bytes(d[i + 2:i + 4], 'big')\n"
        "    return '-'\n"
        "for apic in mutagen.id3.ID3(sys.argv[1]).getall('APIC'):\n"
        "    path = sys.argv[2] + apic.desc\n"
        "    open(path, 'wb').write(apic.data)\n"
        "    size = subprocess.run(['/usr/bin/ffprobe', '-v', 'quiet', '-show_entries',\n"
        "        'stream=width,height', '-of', 'csv=p=0:s=x', path], capture_output=True, text=True)\n"
        "    print(apic.desc, apic.mime, sof(apic.data), size.stdout.strip().replace('0x0', '') or '-')\n";
    const ChildResult result = runProgram("/usr/bin/python3", {"-c", script, mp3, prefix});
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    std::map<std::string, std::string> pictures;
    std::istringstream lines(result.output);
    for (std::string description, rest; lines >> description && std::getline(lines, rest);) {
        pictures[description] = rest.substr(1);
    }
    return pictures;
}

// The red, green and blue of the picture's pixel at (x, y), as ffmpeg decodes it.
std::string pixelOf(const std::string& picture, int x, int y) {
    const std::string crop = "crop=w=2:h=2:x=" + std::to_string(x) + ":y=" + std::to_string(y);
    const ChildResult decoded =
        runProgram("/usr/bin/ffmpeg", {"-v", "error", "-i", picture, "-vf", crop, "-frames:v", "1", "-f",
                                       "rawvideo", "-pix_fmt", "rgb24", "-"});
    return decoded.output.substr(0, 3);
}

class CoverSizeTest : public CvnhostTest {
  protected:
    struct Input {
        std::string name;  // the picture's description and file name
        std::string lavfi; // what ffmpeg makes it from; empty for `bytes`
        std::string bytes; // Python: the picture's bytes, saved as `name`
    };

    // A FLAC input of a second with the pictures, in this order (types 3, 4, 5, ...).
    void writeFlacWithPictures(const std::string& path, const std::vector<Input>& pictures) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        ASSERT_NO_FATAL_FAILURE(writeAudio(path, {"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 1.0}));
        std::string script = "import sys, base64, mutagen.flac\nf = mutagen.flac.FLAC(sys.argv[1])\n";
        for (size_t i = 0; i < pictures.size(); ++i) {
            const Input& picture = pictures[i];
            if (!picture.lavfi.empty()) {
                const ChildResult made = runProgram(
                    "/usr/bin/ffmpeg",
                    {"-v", "error", "-f", "lavfi", "-i", picture.lavfi, "-frames:v", "1", "-pix_fmt",
                     picture.name.ends_with(".png") ? "rgba" : "yuvj420p", file(picture.name)});
                ASSERT_EQ(made.exitStatus, 0) << picture.name << ": " << made.errors;
            }
            const std::string path = "'" + file(picture.name) + "'";
            script += "p = mutagen.flac.Picture()\np.type = " + std::to_string(3 + i) + "\np.desc = '" +
                      picture.name + "'\np.mime = '" +
                      (picture.name.ends_with(".png") ? "image/png" : "image/jpeg") + "'\n" +
                      (picture.lavfi.empty()
                           ? "p.data = " + picture.bytes + "\nopen(" + path + ", 'wb').write(p.data)\n"
                           : "p.data = open(" + path + ", 'rb').read()\n") +
                      "f.add_picture(p)\n";
        }
        script += "f.save()\n";
        const ChildResult tagged = runProgram("/usr/bin/python3", {"-c", script, path});
        ASSERT_EQ(tagged.exitStatus, 0) << tagged.errors;
    }
};

// Each picture of an input as --cover-size 300 writes it into the MP3: a PNG, a larger JPEG and a
// progressive one made baseline JPEG within 300 pixels, the aspect kept and never enlarged; a
// transparent PNG laid on white; a small baseline JPEG and what FFmpeg cannot decode byte for byte.
TEST_F(CoverSizeTest, EachPictureOfAnEncodeIsABaselineJpegWithinTheSize) {
    struct Row {
        Input input;
        std::string written; // "MIME SOF WIDTHxHEIGHT"
        bool sameBytes;
    };
    const std::vector<Row> rows = {
        {{"big.png", "testsrc2=s=3000x2000", ""}, "image/jpeg C0 300x200", false},
        {{"clear.png", "color=c=black@0:s=800x1200,format=rgba", ""}, "image/jpeg C0 200x300", false},
        {{"large.jpg", "testsrc2=s=1600x1200", ""}, "image/jpeg C0 300x225", false},
        {{"progressive.jpg", "", "base64.b64decode('" + std::string(kProgressiveJpeg) + "')"},
         "image/jpeg C0 64x32",
         false},
        {{"small.jpg", "testsrc2=s=300x150", ""}, "image/jpeg C0 300x150", true},
        {{"junk.png", "", "b'\\x89PNG\\r\\n\\x1a\\n' + bytes(100)"}, "image/png - -", true},
    };
    std::vector<Input> inputs;
    for (const Row& row : rows) {
        inputs.push_back(row.input);
    }
    ASSERT_NO_FATAL_FAILURE(writeFlacWithPictures(file("in.flac"), inputs));
    const ChildResult result =
        cvnhost({"encode", "--quiet", "--cover-size", "300", file("in.flac"), file("out.mp3")});
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    const std::map<std::string, std::string> pictures = picturesOf(file("out.mp3"), file("got-"));
    for (const Row& row : rows) {
        const std::string& name = row.input.name;
        EXPECT_EQ(pictures.count(name) ? pictures.at(name) : "(missing)", row.written) << name;
        EXPECT_EQ(readFileBytes(file("got-" + name)) == readFileBytes(file(name)), row.sameBytes) << name;
    }
    EXPECT_EQ(pixelOf(file("got-clear.png"), 100, 150), "\xFF\xFF\xFF") << "transparency laid on white";
}

// --cover-size added to --update makes a retag, and a copy (--lossy copy) scales too: the cover
// shrinks, the audio frames stay byte for byte.
TEST_F(CoverSizeTest, ARetagAndACopyScaleTheCoverAndKeepTheAudio) {
    ASSERT_NO_FATAL_FAILURE(
        writeFlacWithPictures(file("lib/a.flac"), {{"front.png", "testsrc2=s=1200x800", ""}}));
    ASSERT_EQ(cvnhost({"encode", "--quiet", "--out-dir", file("out"), file("lib")}).exitStatus, 0);
    EXPECT_EQ(picturesOf(file("out/a.mp3"), file("before-"))["front.png"], "image/png - 1200x800");
    const Bytes audio = audioOf(file("out/a.mp3"));
    std::filesystem::create_directories(file("mp3"));
    std::filesystem::copy_file(file("out/a.mp3"), file("mp3/b.mp3"));

    const ChildResult retag =
        cvnhost({"encode", "--update", "--cover-size", "300", "--out-dir", file("out"), file("lib")});
    ASSERT_EQ(retag.exitStatus, 0) << retag.errors;
    EXPECT_NE(retag.errors.find("1 retagged"), std::string::npos) << retag.errors;
    const ChildResult copy = cvnhost({"encode", "--quiet", "--lossy", "copy", "--cover-size", "300",
                                      "--out-dir", file("copied"), file("mp3")});
    ASSERT_EQ(copy.exitStatus, 0) << copy.errors;
    for (const std::string output : {"out/a.mp3", "copied/b.mp3"}) {
        EXPECT_EQ(picturesOf(file(output), file("after-"))["front.png"], "image/jpeg C0 300x200") << output;
        EXPECT_TRUE(audioOf(file(output)) == audio) << output;
    }
}

} // namespace
} // namespace cvn::test
