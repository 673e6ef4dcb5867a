#include "encoder_stream.h"

#include "id3v1_tag.h"
#include "common/format_rules.h"
#include "common/encoder_settings.h"
#include "encoder_config.h"
#include "track_texts.h"

#include "common/message_caption.h"

#include <algorithm>
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <bit>
#include <cassert>
#include <cstring>
#include <new>

namespace {

// The mean of the two channels, rounded toward minus infinity; it always fits 16 bits.
int16_t monoMean(uint32_t frame) {
    const int32_t left = static_cast<int16_t>(frame & 0xFFFF);
    const int32_t right = static_cast<int16_t>(frame >> 16);
    return static_cast<int16_t>((left + right) >> 1);
}

// A frame holds the left sample in its low half and the right one in its high half: on a
// little-endian machine its bytes are those of the interleaved pair.
constexpr bool framesAreSamples() {
    return std::endian::native == std::endian::little;
}

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

} // namespace

EncoderStream::EncoderStream(const EncoderLibrary& library, int32_t formatIndex)
    : formatIndex_(formatIndex), library_(&library) {}

bool EncoderStream::invariantsHold() const {
    const bool holdsNothing =
        file_ == nullptr && samples_ == nullptr && output_ == nullptr && bufferedSamples_ == 0;
    if (state_ != State::Open) {
        return holdsNothing; // I1
    }
    const bool holdsEverything = file_ != nullptr && samples_ != nullptr && output_ != nullptr; // I2
    const bool chunkFitsFrames =
        chunkSamples_ > 0 && (!isStereoFormat(formatIndex_) || chunkSamples_ % 2 == 0);
    return holdsEverything && chunkFitsFrames && bufferedSamples_ <= chunkSamples_; // I3, I4
}

bool EncoderStream::setup(const StreamRequest& request) {
    const bool opened = state_ == State::Created && open(request);
    assert(invariantsHold());
    return opened;
}

bool EncoderStream::open(const StreamRequest& request) {
    if (!isValidFormatIndex(formatIndex_)) {
        return false;
    }
    // A path that does not fit whole is refused: a cut path would name another file.
    const size_t pathLength = ::strnlen(request.path, kTextFieldSize);
    if (pathLength >= kTextFieldSize) {
        return false;
    }
    std::memcpy(path_, request.path, pathLength + 1);
    texts_ = copyTrackTexts(*request.trackInfo);

    const EncoderSettings settings = readEncoderSettings(request.settingsKey, isStereoFormat(formatIndex_));
    config_ = encoderConfigFor(formatIndex_, settings);
    vbrHeader_ = wantsVbrHeader(settings);

    chunkSamples_ = 0;
    outputBufferSize_ = 0;
    if (library_->initStream(&config_, &chunkSamples_, &outputBufferSize_, &libraryStream_) != kBeSuccess) {
        return false; // No library stream exists to close.
    }
    // A library asking for chunks of no samples, or for half stereo frames, would make intake
    // loop forever or write past the sample buffer.
    if (chunkSamples_ == 0 || (isStereoFormat(formatIndex_) && chunkSamples_ % 2 != 0)) {
        releaseAfterFailedSetup();
        return false;
    }
    samples_ = new (std::nothrow) int16_t[chunkSamples_];
    output_ = new (std::nothrow) uint8_t[outputBufferSize_ == 0 ? 1 : outputBufferSize_];
    if (!samples_ || !output_) {
        releaseAfterFailedSetup();
        return false;
    }
    file_ = std::fopen(path_, "w+b");
    if (file_ == nullptr) {
        releaseAfterFailedSetup();
        return false;
    }
    state_ = State::Open;
    return true;
}

void EncoderStream::freeBuffers() {
    delete[] samples_;
    samples_ = nullptr;
    delete[] output_;
    output_ = nullptr;
}

void EncoderStream::releaseAfterFailedSetup() {
    library_->closeStream(libraryStream_);
    freeBuffers();
}

bool EncoderStream::writeOutput(uint32_t byteCount) {
    if (byteCount == 0) {
        return true;
    }
    if (byteCount > outputBufferSize_) {
        return false;
    }
    return std::fwrite(output_, byteCount, 1, file_) == 1;
}

EncoderStream::ChunkOutcome EncoderStream::handOver(const int16_t* samples, uint32_t sampleCount) {
    uint32_t byteCount = 0;
    const BeResult result = library_->encodeChunk(libraryStream_, sampleCount, samples, output_, &byteCount);
    if (result != kBeSuccess) {
        MessageBoxA(nullptr, beErrorText(result), kMessageCaption, MB_OK);
        return ChunkOutcome::Refused;
    }
    if (!writeOutput(byteCount)) {
        // The library has taken the chunk: handing it over again would encode its audio twice.
        // Its bytes are lost, and the stream remembers that its file cannot be complete.
        lostAudio_ = true;
        return ChunkOutcome::Lost;
    }
    return ChunkOutcome::Encoded;
}

int32_t EncoderStream::encodeBufferedChunk() {
    const ChunkOutcome outcome = handOver(samples_, bufferedSamples_);
    if (outcome != ChunkOutcome::Refused) {
        bufferedSamples_ = 0;
    }
    return outcome == ChunkOutcome::Encoded ? kStreamSucceeded : kStreamFailed;
}

int32_t EncoderStream::write(int32_t frameCount, const uint32_t* frames) {
    const int32_t result = state_ == State::Open ? takeIn(frameCount, frames) : kStreamFailed;
    assert(invariantsHold());
    return result;
}

int32_t EncoderStream::takeIn(int32_t frameCount, const uint32_t* frames) {
    if (frameCount <= 0) {
        return kStreamSucceeded;
    }
    if (frames == nullptr) {
        return kStreamFailed;
    }
    const bool stereo = isStereoFormat(formatIndex_);
    const auto total = static_cast<uint32_t>(frameCount);
    const uint32_t chunkFrames = stereo ? chunkSamples_ / 2 : chunkSamples_;
    uint32_t taken = 0;
    do {
        if (stereo && framesAreSamples() && bufferedSamples_ == 0 && total - taken >= chunkFrames) {
            // A whole chunk of the host's frames is already the interleaved samples the library
            // wants: it gets them where they are, without a copy.
            const uint32_t* chunk = frames + taken;
            taken += chunkFrames;
            const ChunkOutcome outcome = handOver(reinterpret_cast<const int16_t*>(chunk), chunkSamples_);
            if (outcome == ChunkOutcome::Refused) {
                // The refused chunk waits in the stream's buffer, as a buffered one would.
                copyStereoFrames(chunk, chunkFrames, samples_);
                bufferedSamples_ = chunkSamples_;
            }
            if (outcome != ChunkOutcome::Encoded) {
                return kStreamFailed;
            }
            continue;
        }
        // As many frames as the chunk has room for, in one pass.
        const uint32_t room = chunkSamples_ - bufferedSamples_;
        const uint32_t count = std::min(stereo ? room / 2 : room, total - taken);
        if (stereo) {
            copyStereoFrames(frames + taken, count, samples_ + bufferedSamples_);
            bufferedSamples_ += count * 2;
        } else {
            mixToMono(frames + taken, count, samples_ + bufferedSamples_);
            bufferedSamples_ += count;
        }
        taken += count;
        if (bufferedSamples_ == chunkSamples_) {
            if (encodeBufferedChunk() != kStreamSucceeded) {
                return kStreamFailed;
            }
        }
    } while (taken < total);
    return kStreamSucceeded;
}

int32_t EncoderStream::finish() {
    const int32_t result = state_ == State::Open ? close() : kStreamFailed;
    assert(invariantsHold());
    return result;
}

int32_t EncoderStream::close() {
    uint32_t byteCount = 0;
    const BeResult lastChunkResult =
        library_->encodeChunk(libraryStream_, bufferedSamples_, samples_, output_, &byteCount);
    const bool encodeComplete = lastChunkResult == kBeSuccess && writeOutput(byteCount);

    // The encoder is drained only when it took the last chunk, even when its bytes were lost.
    bool flushComplete = true;
    if (lastChunkResult == kBeSuccess) {
        byteCount = 0;
        flushComplete = library_->deinitStream(libraryStream_, output_, &byteCount) == kBeSuccess &&
                        writeOutput(byteCount);
    }

    const bool closeComplete = library_->closeStream(libraryStream_) == kBeSuccess;

    const Id3v1Tag tag = buildId3v1Tag(texts_);
    const bool tagWritten = std::fwrite(tag.data(), tag.size(), 1, file_) == 1;

    // With buffered writes a full disk often shows only here: an incomplete file is not complete.
    const bool fileClosed = std::fclose(file_) == 0;
    file_ = nullptr;

    // The library opens the closed file by its path; its result does not matter.
    if (vbrHeader_) {
        library_->writeVBRHeader(path_);
    }

    freeBuffers();
    bufferedSamples_ = 0;
    state_ = State::Finished;
    const bool complete = encodeComplete && flushComplete && closeComplete && tagWritten && fileClosed;
    return complete && !lostAudio_ ? kStreamSucceeded : kStreamFailed;
}
