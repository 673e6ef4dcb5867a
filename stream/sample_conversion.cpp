#include "sample_conversion.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <cstring>

namespace velmora {

namespace {

// The mean of the two channels, rounded toward minus infinity; it always fits 16 bits.
int16_t monoMean(uint32_t frame) {
    const int32_t left = static_cast<int16_t>(frame & 0xFFFF);
    const int32_t right = static_cast<int16_t>(frame >> 16);
    return static_cast<int16_t>((left + right) >> 1);
}

} // namespace

void copyStereoFrames(const uint32_t* frames, uint32_t count, int16_t* samples) {
    if constexpr (framesAreSamples()) {
        std::memcpy(samples, frames, count * sizeof *frames);
    } else {
        for (uint32_t i = 0; i < count; ++i) {
            samples[2 * i] = static_cast<int16_t>(frames[i] & 0xFFFF);
            samples[2 * i + 1] = static_cast<int16_t>(frames[i] >> 16);
        }
    }
}

namespace {

// The mono mix runs on every sample of a mono stream, so on x86-64 it takes many frames at a time:
// each 32-bit frame is a pair of 16-bit samples, which one multiply-add by (1, 1) sums into 32
// bits; an arithmetic shift halves the sum, rounding toward minus infinity as monoMean does, and
// the halves always fit 16 bits again. AVX-512 takes thirty-two frames a step and AVX2 sixteen
// where the processor has them, SSE2 (every x86-64) eight; the rest, and every other processor,
// go one by one.
#if defined(__x86_64__)
__attribute__((target("avx512f,avx512bw"))) uint32_t mixToMonoAvx512(const uint32_t* frames, uint32_t count,
                                                                     int16_t* samples) {
    const __m512i ones = _mm512_set1_epi16(1);
    // The pack works within each 128-bit lane: these put the eight 64-bit pieces back in order.
    const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
    // The zero-masking forms with every lane selected: the plain ones trip a false warning of
    // GCC 12 about their undefined source operand.
    constexpr __mmask16 kAllLanes = 0xFFFF;
    uint32_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m512i first = _mm512_loadu_si512(frames + i);
        const __m512i second = _mm512_loadu_si512(frames + i + 16);
        const __m512i packed =
            _mm512_packs_epi32(_mm512_maskz_srai_epi32(kAllLanes, _mm512_madd_epi16(first, ones), 1),
                               _mm512_maskz_srai_epi32(kAllLanes, _mm512_madd_epi16(second, ones), 1));
        _mm512_storeu_si512(samples + i, _mm512_maskz_permutexvar_epi64(0xFF, order, packed));
    }
    return i;
}

__attribute__((target("avx2"))) uint32_t mixToMonoAvx2(const uint32_t* frames, uint32_t count,
                                                       int16_t* samples) {
    const __m256i ones = _mm256_set1_epi16(1);
    uint32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frames + i));
        const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frames + i + 8));
        const __m256i packed = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_madd_epi16(first, ones), 1),
                                                  _mm256_srai_epi32(_mm256_madd_epi16(second, ones), 1));
        // The pack works within each 128-bit lane: put the four 64-bit quarters back in order.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(samples + i), _mm256_permute4x64_epi64(packed, 0xD8));
    }
    return i;
}

uint32_t mixToMonoSse2(const uint32_t* frames, uint32_t count, int16_t* samples) {
    const __m128i ones = _mm_set1_epi16(1);
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames + i));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames + i + 4));
        const __m128i firstMeans = _mm_srai_epi32(_mm_madd_epi16(first, ones), 1);
        const __m128i secondMeans = _mm_srai_epi32(_mm_madd_epi16(second, ones), 1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + i), _mm_packs_epi32(firstMeans, secondMeans));
    }
    return i;
}

const bool g_hasAvx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
const bool g_hasAvx2 = __builtin_cpu_supports("avx2");
#endif

} // namespace

void mixToMono(const uint32_t* frames, uint32_t count, int16_t* samples) {
    uint32_t i = 0;
#if defined(__x86_64__)
    i = g_hasAvx512 ? mixToMonoAvx512(frames, count, samples)
        : g_hasAvx2 ? mixToMonoAvx2(frames, count, samples)
                    : mixToMonoSse2(frames, count, samples);
#endif
    for (; i < count; ++i) {
        samples[i] = monoMean(frames[i]);
    }
}

} // namespace velmora
