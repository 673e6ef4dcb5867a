// The fingerprint by which a finished file is told to be a stream's (vbr_headers.h).
#pragma once

#include "share/fnv1a.h"

#include <cstddef>
#include <cstdint>

namespace lame_enc {

// A running hash and the length of a byte sequence, the same however the sequence is cut into
// pieces: FNV-1a taken over 8-byte little-endian words rather than bytes, a few instructions a
// word (every byte of every stream passes through it). Each step is a bijection of the hash, so
// two sequences that differ in one word always differ in the hash.
struct ByteFingerprint {
    uint64_t hash = share::kFnv1aBasis;
    uint64_t length = 0;
    uint64_t partialWord = 0; // the bytes after the last whole word, lowest first
    void add(const uint8_t* bytes, size_t count);
    bool operator==(const ByteFingerprint&) const = default;
};

} // namespace lame_enc
