#include "track_texts.h"

#include <cstring>

namespace velmora {

void copyTextField(char* field, const char* source, size_t fieldSize) {
    std::memset(field, 0, fieldSize);
    size_t length = 0;
    while (length < fieldSize - 1 && source[length] != '\0') {
        ++length;
    }
    std::memcpy(field, source, length);
}

CVN_TrackInfo copyTrackTexts(const CVN_TrackInfo& host) {
    CVN_TrackInfo copy;
    std::memset(&copy, 0, sizeof copy);
    copy.size = host.size;
    copyTextField(copy.title, host.title, sizeof copy.title);
    copyTextField(copy.album, host.album, sizeof copy.album);
    copyTextField(copy.artist, host.artist, sizeof copy.artist);
    if (host.size != CVN_TRACK_INFO_SIZE_WITHOUT_GENRE) {
        copyTextField(copy.genre, host.genre, sizeof copy.genre);
        if (host.size != CVN_TRACK_INFO_SIZE_WITHOUT_TRACK) {
            copy.track = host.track;
        }
    }
    return copy;
}

} // namespace velmora
