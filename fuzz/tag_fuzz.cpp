// The ID3v1 tag and the genre lookup from arbitrary CVN_TrackInfo bytes and record sizes: the tag is
// always 128 bytes starting with "TAG", nothing is read past the host's fields, and the genre is a
// number of the table or "none".
#include "stream/genre_table.h"
#include "stream/id3v1_tag.h"
#include "stream/track_texts.h"

#include <cstdlib>
#include <cstring>

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CVN_TrackInfo host;
    std::memset(&host, 0, sizeof host);
    std::memcpy(&host, data, std::min(size, sizeof host));
    const CVN_TrackInfo copy = copyTrackTexts(host);
    const Id3v1Tag tag = buildId3v1Tag(copy);
    if (std::memcmp(tag.data(), "TAG", 3) != 0) {
        std::abort();
    }
    const uint8_t genre = tag[127];
    if (genre != kNoGenre && genre >= kGenreCount) {
        std::abort();
    }
    for (const char* field : {copy.title, copy.album, copy.artist, copy.genre}) {
        if (strnlen(field, CVN_TEXT_FIELD_SIZE) == CVN_TEXT_FIELD_SIZE) {
            std::abort(); // every copied text is terminated within its field
        }
    }
    return 0;
}
