#include "cvnhost_fixture.h"

#include <taglib/flacfile.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace cvn::test {

SNDFILE* openForWriting(const std::string& path, int format, int sampleRate, int channels) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    return sf_open(path.c_str(), SFM_WRITE, &info);
}

void writeAudio(const std::string& path, const AudioFile& file, const Metadata& metadata) {
    SNDFILE* out = openForWriting(path, file.format, file.sampleRate, file.channels);
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
    const auto silentFrames = static_cast<size_t>(file.silentSeconds * file.sampleRate);
    for (size_t i = silentFrames; i < frames; ++i) {
        for (int c = 0; c < file.channels; ++c) {
            samples[i * static_cast<size_t>(file.channels) + static_cast<size_t>(c)] =
                file.amplitude *
                static_cast<float>(std::sin(2 * M_PI * (440.0 + 220 * c) *
                                            static_cast<double>(i - silentFrames) / file.sampleRate));
        }
    }
    sf_writef_float(out, samples.data(), static_cast<sf_count_t>(frames));
    sf_close(out);
}

void writeSilentWav(const std::string& path, unsigned seconds) {
    const uint32_t dataBytes = seconds * 44100u * 4u;
    const auto little = [](uint32_t value, int bytes) {
        std::string text;
        for (int i = 0; i < bytes; ++i) {
            text += static_cast<char>((value >> (8 * i)) & 0xFF);
        }
        return text;
    };
    std::ofstream(path, std::ios::binary)
        << "RIFF" << little(36 + dataBytes, 4) << "WAVEfmt " << little(16, 4) << little(1, 2) << little(2, 2)
        << little(44100, 4) << little(44100 * 4, 4) << little(4, 2) << little(16, 2) << "data"
        << little(dataBytes, 4);
    std::filesystem::resize_file(path, 44 + dataBytes);
}

void setFlacTitle(const std::string& path, const std::string& title) {
    TagLib::FLAC::File flac(path.c_str());
    TagLib::PropertyMap properties = flac.properties();
    properties["TITLE"] = TagLib::StringList(title);
    flac.setProperties(properties);
    ASSERT_TRUE(flac.save());
}

std::string readText(const std::string& path) {
    const std::vector<uint8_t> bytes = readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<uint8_t> audioOf(const std::string& path) {
    const std::vector<uint8_t> bytes = readFileBytes(path);
    size_t start = 0;
    if (bytes.size() >= 10 && std::equal(bytes.begin(), bytes.begin() + 3, "ID3")) {
        start = 10 + (size_t{bytes[6]} << 21 | size_t{bytes[7]} << 14 | size_t{bytes[8]} << 7 | bytes[9]);
    }
    size_t end = bytes.size();
    if (end >= start + 128 && std::equal(bytes.end() - 128, bytes.end() - 125, "TAG")) {
        end -= 128;
    }
    return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(std::min(start, end)),
                                bytes.begin() + static_cast<std::ptrdiff_t>(end));
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The names in a directory, sorted.
std::vector<std::string> namesIn(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

ChildResult cvnhostWithFileLimit(size_t bytes, const std::vector<std::string>& arguments) {
    std::vector<std::string> shell = {
        "-c", "ulimit -f " + std::to_string(bytes / 512) + "; exec \"$0\" \"$@\"", CVN_HOST_PROGRAM};
    shell.insert(shell.end(), arguments.begin(), arguments.end());
    return runProgram("/bin/sh", shell);
}

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

} // namespace cvn::test
