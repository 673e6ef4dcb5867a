#include "byte_fingerprint.h"

#include <endian.h>

#include <cstring>

namespace lame_enc {

void ByteFingerprint::add(const uint8_t* bytes, size_t count) {
    const auto takeByte = [&](uint8_t byte) {
        partialWord |= static_cast<uint64_t>(byte) << (8 * (length % 8));
        if (++length % 8 == 0) {
            hash = (hash ^ partialWord) * share::kFnv1aPrime;
            partialWord = 0;
        }
    };
    size_t at = 0;
    for (; at < count && length % 8 != 0; ++at) {
        takeByte(bytes[at]);
    }
    for (; count - at >= 8; at += 8) {
        uint64_t word = 0;
        std::memcpy(&word, bytes + at, 8);
        hash = (hash ^ le64toh(word)) * share::kFnv1aPrime;
        length += 8;
    }
    for (; at < count; ++at) {
        takeByte(bytes[at]);
    }
}

} // namespace lame_enc
