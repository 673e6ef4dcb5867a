#include "genre_table.h"

namespace velmora {

// Position is the genre number. 67 is spelt "Psychadelic" while 93 is "Psychedelic Rock", and 123
// is "Acapella": tag readers use these exact names.
// Ten names a row, so that each number is easy to find.
// clang-format off
const char* const kGenreNames[kGenreCount] = {
    /*   0 */ "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    /*  10 */ "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    /*  20 */ "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk",
    /*  30 */ "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise",
    /*  40 */ "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic",
    /*  50 */ "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta",
    /*  60 */ "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes",
    /*  70 */ "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    /*  80 */ "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival", "Celtic", "Bluegrass",
    /*  90 */ "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic",
    /* 100 */ "Humour", "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove",
    /* 110 */ "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle",
    /* 120 */ "Duet", "Punk Rock", "Drum Solo", "Acapella", "Euro-House", "Dance Hall",
};
// clang-format on

namespace {

unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool equalIgnoringAsciiCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (foldAscii(static_cast<unsigned char>(*a)) != foldAscii(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == *b;
}

} // namespace

uint8_t genreNumber(const char* name) {
    if (name == nullptr) {
        return kNoGenre;
    }
    for (int number = 0; number < kGenreCount; ++number) {
        if (equalIgnoringAsciiCase(name, kGenreNames[number])) {
            return static_cast<uint8_t>(number);
        }
    }
    return kNoGenre;
}

} // namespace velmora
