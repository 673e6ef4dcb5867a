// One TXXX frame found by walking an ID3v2 tag's frame headers: the value mutagen reads from tags
// that it wrote (and from tags built by hand in the forms other writers use), nothing from damaged
// tags, and only the headers and the one body read however large the tag.
#include "tags/id3v2_frames.h"

#include "support/temporary_directory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <sstream>

namespace cvn::test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr const char* kMarker = "CVNHOST_SOURCE";
// A marker as cvnhost writes it, long enough that its 2.4 size differs from its syncsafe size.
const std::string kValue =
    R"({"source":"Zoë Keating/Into the Trees/01 Escape Artist 𝄞.flac","size":31337,)"
    R"("modified":1700000000123456789,"audio":"flac:0123456789abcdef0123456789abcdef",)"
    R"("tags":"fnv:0123456789abcdef","settings":"fnv:fedcba9876543210"})";
const std::string kLatin1Value = R"({"source":"café/ÿ.flac","size":1})";
const std::string kAsciiValue = R"({"source":"a/b.flac","size":2})";

// Bytes standing for the audio after the tag.
const Bytes kAudio = {0xFF, 0xFB, 0x90, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

void write(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string outputOf(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char block[4096];
    for (size_t count; pipe != nullptr && (count = fread(block, 1, sizeof block, pipe)) > 0;) {
        output.append(block, count);
    }
    if (pipe != nullptr) {
        pclose(pipe);
    }
    return output;
}

std::string fromHex(const std::string& hex) {
    std::string text;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return text;
}

Bytes sizeBytes(uint32_t size, bool syncsafe) {
    const int shift = syncsafe ? 7 : 8;
    const uint32_t mask = syncsafe ? 0x7F : 0xFF;
    return {static_cast<uint8_t>(size >> 3 * shift & mask), static_cast<uint8_t>(size >> 2 * shift & mask),
            static_cast<uint8_t>(size >> shift & mask), static_cast<uint8_t>(size & mask)};
}

Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// A TXXX body of one value, its texts taken as they are (Latin-1 or UTF-8 by `encoding`).
Bytes userText(uint8_t encoding, const std::string& description, const std::string& value) {
    return joined({{encoding}, bytesOf(description), {0}, bytesOf(value)});
}

Bytes frame(const char* id, const Bytes& body, bool syncsafeSize, uint8_t format = 0) {
    return joined(
        {bytesOf(id), sizeBytes(static_cast<uint32_t>(body.size()), syncsafeSize), {0, format}, body});
}

// A whole file: the tag of `version` (header flags `flags`), its frames and padding, then audio.
Bytes tagFile(uint8_t version, uint8_t flags, const Bytes& frames, size_t padding = 0) {
    const Bytes header = joined({bytesOf("ID3"),
                                 {version, 0, flags},
                                 sizeBytes(static_cast<uint32_t>(frames.size() + padding), true)});
    return joined({header, frames, Bytes(padding, 0), kAudio});
}

Bytes marker24() {
    return frame("TXXX", userText(3, kMarker, kValue), true);
}

struct WrittenTag {
    std::string what;
    std::string mutagenFrames; // Python: the frames mutagen writes, or empty for `bytes`
    int version = 0;           // mutagen's v2_version, negative for a tag without padding
    Bytes bytes;
    std::string expected;
};

// Tags as mutagen writes them, and as other writers do (built here, read back by mutagen).
std::vector<WrittenTag> writtenTags() {
    const Bytes otherText = userText(3, "OTHER", std::string(300, 'o'));
    const Bytes withLength = userText(0, kMarker, "\xFF\xFF" + kAsciiValue + "\xFF");
    Bytes unsynchronised;
    for (const uint8_t byte : withLength) {
        unsynchronised.push_back(byte);
        if (byte == 0xFF) {
            unsynchronised.push_back(0);
        }
    }
    return {
        {"2.3, UTF-16", "[TXXX(encoding=1, desc=MARKER, text=[VALUE])]", 3, {}, kValue},
        {"2.4, UTF-8", "[TXXX(encoding=3, desc=MARKER, text=[VALUE])]", 4, {}, kValue},
        {"2.4, UTF-16BE", "[TXXX(encoding=2, desc=MARKER, text=[VALUE])]", 4, {}, kValue},
        {"2.3, Latin-1", "[TXXX(encoding=0, desc=MARKER, text=[LATIN1])]", 3, {}, kLatin1Value},
        {"a picture of 3 MB and a title before it",
         "[APIC(mime='image/png', type=3, data=b'\\x89PNG' + bytes(3000000)), TIT2(text=['t']), "
         "TXXX(encoding=3, desc=MARKER, text=[VALUE])]",
         4,
         {},
         kValue},
        {"among other TXXX frames, 2.3",
         "[TXXX(encoding=1, desc=MARKER + '2', text=['no']), "
         "TXXX(encoding=1, desc=MARKER.lower(), text=['no']), "
         "TXXX(encoding=1, desc=MARKER, text=[VALUE]), TXXX(encoding=1, desc='AFTER', text=['no'])]",
         3,
         {},
         kValue},
        {"several values: the first",
         "[TXXX(encoding=3, desc=MARKER, text=['first', 'second'])]",
         4,
         {},
         "first"},
        {"last before the tag's end, no padding",
         "[TIT2(text=['t']), TXXX(encoding=1, desc=MARKER, text=[VALUE])]",
         -3,
         {},
         kValue},
        {"none", "[TXXX(encoding=3, desc='OTHER', text=[VALUE]), TIT2(text=['t'])]", 4, {}, ""},
        {"2.4 with an extended header", "", 0, tagFile(4, 0x40, joined({{0, 0, 0, 6, 1, 0}, marker24()}), 20),
         kValue},
        {"2.3 with an extended header", "", 0,
         tagFile(3, 0x40,
                 joined({{0, 0, 0, 6, 0, 0, 0, 0, 0, 0},
                         frame("TXXX", userText(0, kMarker, kAsciiValue), false)})),
         kAsciiValue},
        {"2.4 with plain 32-bit sizes", "", 0,
         tagFile(
             4, 0,
             joined({frame("TXXX", otherText, false), frame("TXXX", userText(3, kMarker, kValue), false)}),
             10),
         kValue},
        {"2.4, unsynchronised, with a data length", "", 0,
         tagFile(4, 0,
                 frame("TXXX",
                       joined({sizeBytes(static_cast<uint32_t>(withLength.size()), true), unsynchronised}),
                       true, 0x03)),
         "ÿÿ" + kAsciiValue + "ÿ"},
    };
}

// mutagen writes the frames of each case without bytes into its file, and reads the marker of
// every file back: "=" and its UTF-8 in hex, or "-" for none.
std::vector<std::string> mutagenWritesAndReads(const std::vector<WrittenTag>& tags,
                                               const std::vector<std::string>& paths) {
    std::string script = "import sys\nfrom mutagen.id3 import ID3, TXXX, TIT2, APIC\n"
                         "MARKER = '" +
                         std::string(kMarker) + "'\nVALUE = '''" + kValue + "'''\nLATIN1 = '''" +
                         kLatin1Value +
                         "'''\n"
                         "def write(path, version, frames):\n"
                         "    open(path, 'wb').write(b'\\xff\\xfb\\x90\\x00' + bytes(413))\n"
                         "    tags = ID3()\n"
                         "    for frame in frames: tags.add(frame)\n"
                         "    padding = (lambda info: 0) if version < 0 else None\n"
                         "    tags.save(path, v2_version=abs(version), padding=padding)\n";
    for (size_t i = 0; i < tags.size(); ++i) {
        if (!tags[i].mutagenFrames.empty()) {
            script += "write('" + paths[i] + "', " + std::to_string(tags[i].version) + ", " +
                      tags[i].mutagenFrames + ")\n";
        }
    }
    script += "for path in sys.argv[1:]:\n"
              "    found = ID3(path, load_v1=False).getall('TXXX:' + MARKER)\n"
              "    print('=' + found[0].text[0].encode().hex() if found else '-')\n";
    const std::string scriptPath = paths.front() + ".py";
    write(scriptPath, bytesOf(script));
    std::string command = "/usr/bin/python3 " + scriptPath;
    for (const std::string& path : paths) {
        command += " " + path;
    }
    std::vector<std::string> read;
    std::istringstream lines(outputOf(command));
    for (std::string line; std::getline(lines, line);) {
        read.push_back(line == "-" ? "" : fromHex(line.substr(1)));
    }
    return read;
}

TEST(UserTextFrame, ReadsTheValueMutagenReads) {
    const TemporaryDirectory directory;
    const std::vector<WrittenTag> tags = writtenTags();
    std::vector<std::string> paths;
    for (size_t i = 0; i < tags.size(); ++i) {
        paths.push_back(directory.file("tag-" + std::to_string(i) + ".mp3"));
        if (tags[i].mutagenFrames.empty()) {
            write(paths.back(), tags[i].bytes);
        }
    }
    const std::vector<std::string> mutagenRead = mutagenWritesAndReads(tags, paths);
    ASSERT_EQ(mutagenRead.size(), tags.size()) << "mutagen could not write or read them all";
    for (size_t i = 0; i < tags.size(); ++i) {
        EXPECT_EQ(mutagenRead[i], tags[i].expected) << tags[i].what << ": the case itself";
        const std::optional<std::string> value = cvnhost::userTextFrameOf(paths[i], kMarker);
        EXPECT_EQ(value.value_or(""), mutagenRead[i]) << tags[i].what;
        EXPECT_EQ(value.has_value(), !tags[i].expected.empty()) << tags[i].what;
    }
}

Bytes patched(Bytes bytes, size_t index, uint8_t value) {
    bytes.at(index) = value;
    return bytes;
}

struct DamagedTag {
    std::string what;
    Bytes bytes;
    std::optional<std::string> expected;
};

std::vector<DamagedTag> damagedTags() {
    const Bytes title = frame("TIT2", {3, 't'}, true);
    Bytes cutShort = tagFile(4, 0, marker24());
    cutShort.resize(cutShort.size() - kAudio.size() - 20);
    const Bytes version22 = patched(tagFile(4, 0, marker24()), 3, 2);
    return {
        {"a frame before it ending beyond the tag",
         tagFile(4, 0, joined({patched(title, 4, 0x7F), marker24()}), 100), std::nullopt},
        {"the marker ending beyond the tag", tagFile(4, 0, patched(marker24(), 7, marker24()[7] + 1)),
         std::nullopt},
        {"the marker cut short by the file's end", cutShort, std::nullopt},
        {"a frame of size zero before it", tagFile(4, 0, joined({frame("TIT2", {}, true), marker24()})),
         std::nullopt},
        {"padding before it", tagFile(4, 0, joined({Bytes(30, 0), marker24()})), std::nullopt},
        {"a frame id that is none before it",
         tagFile(4, 0, joined({frame("T\x01XX", {3, 't'}, true), marker24()})), std::nullopt},
        {"a tag size that is not syncsafe", patched(tagFile(4, 0, marker24(), 100), 8, 0x80), std::nullopt},
        {"a tag larger than the file, the marker whole before its end",
         patched(tagFile(4, 0, joined({title, marker24()})), 6, 0x7F), kValue},
        {"version 2.2", version22, std::nullopt},
        {"version 2.5", patched(version22, 3, 5), std::nullopt},
        {"an extended header beyond the tag",
         tagFile(4, 0x40, joined({{0x7F, 0x7F, 0x7F, 0x7F, 1, 0}, marker24()})), std::nullopt},
        {"a 2.3 tag unsynchronised as a whole",
         tagFile(3, 0x80, frame("TXXX", userText(0, kMarker, kAsciiValue), false)), std::nullopt},
        {"a compressed marker (its data length first)",
         tagFile(4, 0, frame("TXXX", joined({{0, 0, 2, 0}, userText(3, kMarker, kValue)}), true, 0x09)),
         std::nullopt},
        {"an encoding that does not exist", tagFile(4, 0, patched(marker24(), 10, 4)), std::nullopt},
        {"a marker over 1 MB",
         tagFile(4, 0, frame("TXXX", userText(3, kMarker, std::string(1100000, 'x')), true)), std::nullopt},
        {"no tag", kAudio, std::nullopt},
        {"an empty file", {}, std::nullopt},
    };
}

// A size that cannot be true ends the walk with nothing, and so does what cvnhost never writes.
TEST(UserTextFrame, DamagedTagsEndTheWalk) {
    const TemporaryDirectory directory;
    for (const DamagedTag& tag : damagedTags()) {
        const std::string path = directory.file("damaged.mp3");
        write(path, tag.bytes);
        EXPECT_EQ(cvnhost::userTextFrameOf(path, kMarker), tag.expected) << tag.what;
    }
}

TEST(UserTextFrame, WhatIsNoFileGivesNothing) {
    const TemporaryDirectory directory;
    ASSERT_EQ(mkfifo(directory.file("fifo").c_str(), 0600), 0);
    EXPECT_EQ(cvnhost::userTextFrameOf(directory.file("fifo"), kMarker), std::nullopt) << "not waited for";
    EXPECT_EQ(cvnhost::userTextFrameOf(directory.path(), kMarker), std::nullopt);
    EXPECT_EQ(cvnhost::userTextFrameOf(directory.file("missing"), kMarker), std::nullopt);
}

// Behind a picture of 3 MB, the walk reads the tag's header, the frame headers and the marker.
TEST(UserTextFrame, ReadsOnlyTheFrameHeadersAndTheMarker) {
    const TemporaryDirectory directory;
    const Bytes picture = joined({{0}, bytesOf("image/png"), {0, 3, 0}, Bytes(3'000'000, 0xFF)});
    write(directory.file("big.mp3"), tagFile(4, 0, joined({frame("APIC", picture, true), marker24()}), 1024));
    const int descriptor = open(directory.file("big.mp3").c_str(), O_RDONLY);
    ASSERT_GE(descriptor, 0);
    size_t bytesRead = 0;
    const cvnhost::ReadAt readAt = [&](uint64_t offset, std::span<uint8_t> into) {
        const ssize_t count = pread(descriptor, into.data(), into.size(), static_cast<off_t>(offset));
        bytesRead += count > 0 ? static_cast<size_t>(count) : 0;
        return count > 0 ? static_cast<size_t>(count) : 0;
    };
    EXPECT_EQ(cvnhost::userTextFrameIn(readAt, kMarker), kValue);
    close(descriptor);
    EXPECT_LT(bytesRead, kValue.size() + 100);
}

} // namespace
} // namespace cvn::test
