#include "audio/ffmpeg_input.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace cvnhost {

namespace {

constexpr int kBufferSize = 1 << 16;

} // namespace

FfmpegInput::~FfmpegInput() {
    // The format first: closing it reads no more, and a custom AVIOContext is not its to free.
    avformat_close_input(&format_);
    if (io_ != nullptr) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    if (descriptor_ >= 0) {
        close(descriptor_);
    }
}

int FfmpegInput::open(const std::string& path) {
    // cvnhost names each problem with its file; FFmpeg's own log would say it again, unnamed.
    av_log_set_level(AV_LOG_QUIET);
    descriptor_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (descriptor_ >= 0 && fstat(descriptor_, &status) == 0 && S_ISREG(status.st_mode)) {
        size_ = status.st_size;
        bound_ = boundMatroskaTags(descriptor_);
    }
    if (!bound_) {
        // Every other file as FFmpeg's own file protocol reads it.
        if (descriptor_ >= 0) {
            close(descriptor_);
            descriptor_ = -1;
        }
        return avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
    }
    auto* buffer = static_cast<uint8_t*>(av_malloc(kBufferSize));
    if (buffer == nullptr) {
        return AVERROR(ENOMEM);
    }
    io_ = avio_alloc_context(buffer, kBufferSize, 0, this, readPacket, nullptr, seek);
    if (io_ == nullptr) {
        av_free(buffer);
        return AVERROR(ENOMEM);
    }
    format_ = avformat_alloc_context();
    if (format_ == nullptr) {
        return AVERROR(ENOMEM);
    }
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    return avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
}

int FfmpegInput::readPacket(void* opaque, uint8_t* buffer, int size) {
    auto* input = static_cast<FfmpegInput*>(opaque);
    const ssize_t got = pread(input->descriptor_, buffer, static_cast<size_t>(size), input->position_);
    if (got < 0) {
        return AVERROR(errno);
    }
    if (got == 0) {
        return AVERROR_EOF;
    }
    const int64_t from = input->position_;
    const int64_t to = from + got;
    for (const BytePatch& patch : input->bound_->patches) {
        const int64_t patchEnd = patch.offset + static_cast<int64_t>(patch.bytes.size());
        const int64_t start = std::max(from, patch.offset);
        const int64_t end = std::min(to, patchEnd);
        if (start < end) {
            std::memcpy(buffer + (start - from), patch.bytes.data() + (start - patch.offset),
                        static_cast<size_t>(end - start));
        }
    }
    input->position_ = to;
    return static_cast<int>(got);
}

int64_t FfmpegInput::seek(void* opaque, int64_t offset, int whence) {
    auto* input = static_cast<FfmpegInput*>(opaque);
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return input->size_;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += input->position_;
        break;
    case SEEK_END:
        offset += input->size_;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0) {
        return AVERROR(EINVAL);
    }
    input->position_ = offset;
    return offset;
}

} // namespace cvnhost
