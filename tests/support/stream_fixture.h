// A bound plug-in with a settings key and a directory for output files, and the helpers that
// stream tests share.
#pragma once

#include "plugin_fixture.h"
#include "settings_key.h"
#include "temporary_directory.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cvn::test {

// A stereo frame as the host delivers it: left in the low half, right in the high half.
inline uint32_t frame(int16_t left, int16_t right) {
    return static_cast<uint16_t>(left) | static_cast<uint32_t>(static_cast<uint16_t>(right)) << 16;
}

// The bytes that the fake's echo produces for these samples.
std::vector<uint8_t> echoBytes(const std::vector<int16_t>& samples);

// A full CVN_TrackInfo with the given texts.
CVN_TrackInfo trackInfo(const std::string& title, const std::string& album, const std::string& artist,
                        const std::string& genre, uint8_t track, int32_t size = sizeof(CVN_TrackInfo));

// Appends `more` to `bytes`.
void append(std::vector<uint8_t>& bytes, const std::vector<uint8_t>& more);

class StreamTest : public BoundPlugInTest {
  protected:
    // Starts a stream into output.mp3; fails the test unless CVN_InitStream returns 0.
    CVN_StreamHandle start(int32_t formatIndex, const CVN_TrackInfo& track);
    CVN_StreamHandle start(int32_t formatIndex);
    // The output file as it stands.
    std::vector<uint8_t> output() const { return readFileBytes(outputPath()); }
    std::string outputPath() const { return directory.file("output.mp3"); }
    // The file's bytes without the 128-byte tag at its end.
    std::vector<uint8_t> audioBytes() const;

    SettingsKey settings;
    TemporaryDirectory directory;
};

} // namespace cvn::test
