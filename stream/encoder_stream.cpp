#include "encoder_stream.h"

#include "id3v1_tag.h"
#include "sample_conversion.h"
#include "common/encoder_settings.h"
#include "encoder_config.h"
#include "track_texts.h"

#include "common/message_caption.h"
#include "share/invariants.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace velmora {

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
        chunkSamples_ > 0 && (!cvn::isStereoFormat(formatIndex_) || chunkSamples_ % 2 == 0);
    const bool fullOnlyWhenRefused = bufferedSamples_ < chunkSamples_ || chunkRefused_;
    return holdsEverything && chunkFitsFrames && bufferedSamples_ <= chunkSamples_ &&
           fullOnlyWhenRefused; // I3, I4
}

bool EncoderStream::setup(const StreamRequest& request) {
    const bool opened = state_ == State::Created && open(request);
    share::checkInvariants([this] { return invariantsHold(); }, "after a stream's setup");
    return opened;
}

bool EncoderStream::open(const StreamRequest& request) {
    if (!cvn::isValidFormatIndex(formatIndex_)) {
        return false;
    }
    // A path that does not fit whole is refused: a cut path would name another file.
    const size_t pathLength = ::strnlen(request.path, CVN_TEXT_FIELD_SIZE);
    if (pathLength >= CVN_TEXT_FIELD_SIZE) {
        return false;
    }
    std::memcpy(path_, request.path, pathLength + 1);
    texts_ = copyTrackTexts(*request.trackInfo);

    const share::StoredSettings settings =
        readStoredSettings(request.settingsKey, cvn::isStereoFormat(formatIndex_));
    config_ = encoderConfigFor(formatIndex_, settings);
    vbrHeader_ = wantsVbrHeader(settings);

    chunkSamples_ = 0;
    outputBufferSize_ = 0;
    if (library_->initStream(&config_, &chunkSamples_, &outputBufferSize_, &libraryStream_) != BE_SUCCESS) {
        return false; // No library stream exists to close.
    }
    // A library asking for chunks of no samples, or for half stereo frames, would make intake
    // loop forever or write past the sample buffer.
    if (chunkSamples_ == 0 || (cvn::isStereoFormat(formatIndex_) && chunkSamples_ % 2 != 0)) {
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
    const BE_Result result = library_->encodeChunk(libraryStream_, sampleCount, samples, output_, &byteCount);
    chunkRefused_ = result != BE_SUCCESS;
    if (result != BE_SUCCESS) {
        MessageBoxA(nullptr, be::errorText(result), kMessageCaption, MB_OK);
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
    return outcome == ChunkOutcome::Encoded ? CVN_STREAM_SUCCEEDED : CVN_STREAM_FAILED;
}

int32_t EncoderStream::write(int32_t frameCount, const uint32_t* frames) {
    const int32_t result = state_ == State::Open ? takeIn(frameCount, frames) : CVN_STREAM_FAILED;
    share::checkInvariants([this] { return invariantsHold(); }, "after a stream's write");
    return result;
}

int32_t EncoderStream::takeIn(int32_t frameCount, const uint32_t* frames) {
    if (frameCount <= 0) {
        return CVN_STREAM_SUCCEEDED;
    }
    if (frames == nullptr) {
        return CVN_STREAM_FAILED;
    }
    const bool stereo = cvn::isStereoFormat(formatIndex_);
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
                return CVN_STREAM_FAILED;
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
            if (encodeBufferedChunk() != CVN_STREAM_SUCCEEDED) {
                return CVN_STREAM_FAILED;
            }
        }
    } while (taken < total);
    return CVN_STREAM_SUCCEEDED;
}

int32_t EncoderStream::finish() {
    const int32_t result = state_ == State::Open ? close() : CVN_STREAM_FAILED;
    share::checkInvariants([this] { return invariantsHold(); }, "after a stream's finish");
    return result;
}

int32_t EncoderStream::close() {
    uint32_t byteCount = 0;
    const BE_Result lastChunkResult =
        library_->encodeChunk(libraryStream_, bufferedSamples_, samples_, output_, &byteCount);
    const bool encodeComplete = lastChunkResult == BE_SUCCESS && writeOutput(byteCount);

    // The encoder is drained only when it took the last chunk, even when its bytes were lost.
    bool flushComplete = true;
    if (lastChunkResult == BE_SUCCESS) {
        byteCount = 0;
        flushComplete = library_->deinitStream(libraryStream_, output_, &byteCount) == BE_SUCCESS &&
                        writeOutput(byteCount);
    }

    const bool closeComplete = library_->closeStream(libraryStream_) == BE_SUCCESS;

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
    return complete && !lostAudio_ ? CVN_STREAM_SUCCEEDED : CVN_STREAM_FAILED;
}

} // namespace velmora
