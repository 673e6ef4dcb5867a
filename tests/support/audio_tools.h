// Real decoders and tag readers from the system, for checking the encoder's files: mpg123, ffmpeg
// and Python's mutagen (the Debian package, so the system interpreter runs it).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cvn::test {

struct DecodedAudio {
    bool ok = false;              // the decoder exited cleanly
    std::string messages;         // what it said on stderr
    std::vector<int16_t> samples; // interleaved
};

// Decodes with mpg123 to raw 16-bit samples in the file's own rate and channel count.
DecodedAudio decodeWithMpg123(const std::string& path);
// The same with ffmpeg, which trims the encoder delay and padding that the Info frame names.
DecodedAudio decodeWithFfmpeg(const std::string& path);

struct StreamFacts {
    int channels = 0;
    int sampleRate = 0;
    double seconds = 0;
};

// What mutagen reports of each file (channels, sample rate, duration); one Python run for all.
std::vector<StreamFacts> readWithMutagen(const std::vector<std::string>& paths);

// The ID3v2 frames that mutagen reads from the file, by its frame keys ("TIT2": the title,
// "TXXX:MusicBrainz Album Id", ...): texts as mutagen shows them, "APIC" as "MIME BYTES TYPE", and
// "VERSION" "2.3" or "2.4" when there is a tag.
std::map<std::string, std::string> readId3v2WithMutagen(const std::string& path);

// The ID3v2 frames as the file holds them (2.3 frames are not made 2.4 ones): each text frame's
// values joined by "|" (a line break in a value as "\n"), each picture under its key "APIC:DESC"
// as "TYPE ENCODING MIME", and "VERSION".
std::map<std::string, std::string> readId3v2FramesAsWritten(const std::string& path);

// The largest magnitude of the file's samples as ffmpeg decodes it (floats for MP3), 1 being full
// scale; -1 when it cannot be decoded.
double decodedPeakWithFfmpeg(const std::string& path);

// The same as mpg123 decodes it, in floating point, as players that use libmpg123 do.
double decodedPeakWithMpg123(const std::string& path);

// The integrated loudness of the inputs played one after the other, as ffmpeg's ebur128 filter
// measures it (to a tenth of a LUFS).
double loudnessWithFfmpeg(const std::vector<std::string>& inputs);

// Interleaved stereo frames of a test signal: two tones that differ between the channels, or the
// same in both when `mono`.
std::vector<uint32_t> testSignal(size_t frames, bool mono);
// A sine of `frequency` Hz at 44100 Hz, the same in both channels.
std::vector<uint32_t> tone(double frequency, size_t frames, double amplitude);

} // namespace cvn::test
