#include "stream_fixture.h"

#include <cstring>

namespace cvn::test {

std::vector<uint8_t> echoBytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes;
    for (int16_t sample : samples) {
        bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(sample) & 0xFF));
        bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(sample) >> 8));
    }
    return bytes;
}

CVN_TrackInfo trackInfo(const std::string& title, const std::string& album, const std::string& artist,
                        const std::string& genre, uint8_t track, int32_t size) {
    CVN_TrackInfo info;
    std::memset(&info, 0, sizeof info);
    info.size = size;
    std::strncpy(info.title, title.c_str(), sizeof info.title - 1);
    std::strncpy(info.album, album.c_str(), sizeof info.album - 1);
    std::strncpy(info.artist, artist.c_str(), sizeof info.artist - 1);
    std::strncpy(info.genre, genre.c_str(), sizeof info.genre - 1);
    info.track = track;
    return info;
}

void append(std::vector<uint8_t>& bytes, const std::vector<uint8_t>& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
}

CVN_StreamHandle StreamTest::start(int32_t formatIndex, const CVN_TrackInfo& track) {
    CVN_StreamHandle handle = nullptr;
    EXPECT_EQ(plugIn.initStream(outputPath().c_str(), 0, formatIndex, settings.handle(), &track, &handle), 0);
    EXPECT_NE(handle, nullptr);
    return handle;
}

CVN_StreamHandle StreamTest::start(int32_t formatIndex) {
    return start(formatIndex, trackInfo("Title", "Album", "Artist", "Rock", 0));
}

std::vector<uint8_t> StreamTest::audioBytes() const {
    std::vector<uint8_t> bytes = output();
    bytes.resize(bytes.size() >= 128 ? bytes.size() - 128 : 0);
    return bytes;
}

} // namespace cvn::test
