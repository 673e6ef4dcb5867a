#include "encoder_stream.h"

#include "id3v1_tag.h"
#include "common/format_rules.h"
#include "common/encoder_settings.h"
#include "encoder_config.h"
#include "track_texts.h"

#include "common/message_caption.h"

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

int32_t EncoderStream::encodeBufferedChunk() {
    uint32_t byteCount = 0;
    const BeResult result =
        library_->encodeChunk(libraryStream_, bufferedSamples_, samples_, output_, &byteCount);
    if (result != kBeSuccess) {
        MessageBoxA(nullptr, beErrorText(result), kMessageCaption, MB_OK);
        return kStreamFailed;
    }
    bufferedSamples_ = 0;
    if (!writeOutput(byteCount)) {
        // The library has taken the chunk: handing it over again would encode its audio twice.
        // Its bytes are lost, and the stream remembers that its file cannot be complete.
        lostAudio_ = true;
        return kStreamFailed;
    }
    return kStreamSucceeded;
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
    int32_t taken = 0;
    do {
        if (stereo) {
            while (bufferedSamples_ < chunkSamples_ && taken < frameCount) {
                const uint32_t frame = frames[taken++];
                samples_[bufferedSamples_++] = static_cast<int16_t>(frame & 0xFFFF);
                samples_[bufferedSamples_++] = static_cast<int16_t>(frame >> 16);
            }
        } else {
            while (bufferedSamples_ < chunkSamples_ && taken < frameCount) {
                samples_[bufferedSamples_++] = monoMean(frames[taken++]);
            }
        }
        if (bufferedSamples_ == chunkSamples_) {
            if (encodeBufferedChunk() != kStreamSucceeded) {
                return kStreamFailed;
            }
        }
    } while (taken < frameCount);
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
