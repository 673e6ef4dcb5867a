// Reading the host's input: a RIFF WAVE file of 16-bit PCM at 44100 Hz, mono or stereo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The file's audio as stereo frames (left in the low half, right in the high half; a mono file
// gives both channels the same sample). On failure returns false and says why in `error`.
bool readWaveFile(const std::string& path, std::vector<uint32_t>& frames, std::string& error);
