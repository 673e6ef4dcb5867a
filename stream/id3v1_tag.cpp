#include "id3v1_tag.h"

#include "genre_table.h"

#include <cstring>

namespace velmora {

namespace {

constexpr size_t kTextFieldLength = 30;

void putText(Id3v1Tag& tag, size_t offset, const char* text, size_t textFieldSize) {
    for (size_t i = 0; i < kTextFieldLength && i < textFieldSize && text[i] != '\0'; ++i) {
        tag[offset + i] = static_cast<uint8_t>(text[i]);
    }
}

} // namespace

Id3v1Tag buildId3v1Tag(const CVN_TrackInfo& texts) {
    Id3v1Tag tag{};
    std::memcpy(tag.data(), "TAG", 3);
    putText(tag, 33, texts.artist, sizeof texts.artist);
    putText(tag, 63, texts.album, sizeof texts.album);
    putText(tag, 3, texts.title, sizeof texts.title);
    tag[126] = static_cast<uint8_t>(texts.track + 1);
    tag[127] = genreNumber(texts.genre);
    return tag;
}

} // namespace velmora
