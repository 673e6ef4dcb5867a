// Inputs whose codec already discarded what it could not hear (MP3, Ogg Vorbis, Opus, AAC, WMA,
// ...): encoded again, their quality is lost twice. `--lossy encode` (the default) encodes them and
// says how many; `copy` puts an MP3 input in place as it is (its audio frames byte for byte, its
// tags as the run's rules give them) and encodes the others; `fit` copies an MP3 whose bitrate is at
// or below the run's and encodes one above it down (a device's copy is no larger than it must be);
// `skip` leaves them out and names them.
// Lossy is a property of the codec, not of the name: an .m4a holds lossless ALAC or lossy AAC.
#pragma once

#include "track_records.h"

#include <optional>
#include <string>

namespace cvnhost {

struct Lossiness {
    bool lossy = false;
    bool mp3 = false; // MPEG audio layer III, which --lossy copy takes as it is
    int kbps = 0;     // an MP3's average bitrate, 0 when it cannot be told
};

// Nothing when the file cannot be read (its encode then fails with the cause).
std::optional<Lossiness> lossinessOf(const std::string& path);

// The bitrate the run's outputs have, or have about at a VBR quality (the encoder project's own
// figures for -V 0 to 9), in kbit/s.
int typicalBitrateOf(int32_t formatIndex, uint32_t vbr);

} // namespace cvnhost
