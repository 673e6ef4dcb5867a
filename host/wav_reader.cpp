#include "wav_reader.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

uint32_t u32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t u16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

} // namespace

bool readWaveFile(const std::string& path, std::vector<uint32_t>& frames, std::string& error) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        error = "cannot open " + path;
        return false;
    }
    const std::vector<unsigned char> file((std::istreambuf_iterator<char>(stream)),
                                          std::istreambuf_iterator<char>());
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 ||
        std::memcmp(file.data() + 8, "WAVE", 4) != 0) {
        error = path + " is not a WAVE file";
        return false;
    }
    int channels = 0;
    bool haveFormat = false;
    for (size_t at = 12; at + 8 <= file.size();) {
        const uint32_t size = u32(file.data() + at + 4);
        const size_t body = at + 8;
        if (size > file.size() - body) {
            error = path + " is cut short";
            return false;
        }
        if (std::memcmp(file.data() + at, "fmt ", 4) == 0 && size >= 16) {
            const uint16_t encoding = u16(file.data() + body);
            channels = u16(file.data() + body + 2);
            const uint32_t rate = u32(file.data() + body + 4);
            const uint16_t bits = u16(file.data() + body + 14);
            if (encoding != 1 || bits != 16 || rate != 44100 || (channels != 1 && channels != 2)) {
                error = path + ": only 16-bit PCM at 44100 Hz, mono or stereo, can be encoded";
                return false;
            }
            haveFormat = true;
        } else if (std::memcmp(file.data() + at, "data", 4) == 0) {
            if (!haveFormat) {
                error = path + ": the audio comes before its format";
                return false;
            }
            const size_t frameSize = 2u * static_cast<size_t>(channels);
            for (size_t i = body; i + frameSize <= body + size; i += frameSize) {
                const uint16_t left = u16(file.data() + i);
                const uint16_t right = channels == 2 ? u16(file.data() + i + 2) : left;
                frames.push_back(left | static_cast<uint32_t>(right) << 16);
            }
            return true;
        }
        at = body + size + (size & 1);
    }
    error = path + " holds no audio";
    return false;
}
