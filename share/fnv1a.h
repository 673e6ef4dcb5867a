// The 64-bit FNV-1a hash: the same on every machine and build (unlike std::hash), and cheap
// enough to run over every byte of a stream.
#pragma once

#include <cstddef>
#include <cstdint>

namespace share {

inline constexpr uint64_t kFnv1aBasis = 0xcbf29ce484222325ull;
inline constexpr uint64_t kFnv1aPrime = 0x100000001b3ull;

// `hash` continued over `count` bytes.
inline uint64_t fnv1a(uint64_t hash, const void* bytes, size_t count) {
    const auto* byte = static_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < count; ++i) {
        hash = (hash ^ byte[i]) * kFnv1aPrime;
    }
    return hash;
}

} // namespace share
