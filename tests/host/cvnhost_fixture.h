// What the tests of cvnhost as a user runs it share: audio files to encode, the program run with a
// registry file of the test's own, and the names in a folder.
#pragma once

#include "support/child_process.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace cvn::test {

struct AudioFile {
    std::string name;
    int format;
    int sampleRate;
    int channels;
    double seconds;
    float amplitude = 0.3f;
    double silentSeconds = 0; // before the tones start, within `seconds`
};

struct Metadata {
    std::string title, artist, album, genre, track;
};

// A new audio file for libsndfile to write; null when it cannot be made.
SNDFILE* openForWriting(const std::string& path, int format, int sampleRate, int channels);

// Writes a file of two tones with libsndfile, with metadata where the format keeps it.
void writeAudio(const std::string& path, const AudioFile& file, const Metadata& metadata = {});

// A 16-bit stereo 44.1 kHz WAV of silence, made sparse: an hour costs no disk and no time to
// write, and takes the encoder long enough that a test can act while it runs.
void writeSilentWav(const std::string& path, unsigned seconds);

std::string readText(const std::string& path);

// An MP3 file's audio frames: its bytes between an ID3v2 tag in front and an ID3v1 tag at the end.
std::vector<uint8_t> audioOf(const std::string& path);

// A FLAC file's title set with TagLib, as a tagger sets it.
void setFlacTitle(const std::string& path, const std::string& title);

void writeText(const std::string& path, const std::string& text);

// The names in a directory, sorted.
std::vector<std::string> namesIn(const std::string& directory);

// The ID3v1 tag at the end of an MP3 file: its title, artist, track and genre (-1 when absent).
struct Id3v1 {
    std::string title, artist;
    int track = -1;
    int genre = -1;
};

Id3v1 readId3v1(const std::string& path);

// cvnhost under a file size limit of `bytes` (a multiple of 512), which stands for a full disk.
ChildResult cvnhostWithFileLimit(size_t bytes, const std::vector<std::string>& arguments);

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

} // namespace cvn::test
