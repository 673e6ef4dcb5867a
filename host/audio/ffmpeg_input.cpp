#include "audio/ffmpeg_input.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace cvnhost {

namespace {

constexpr int kBufferSize = 1 << 16;

// The least severe of FFmpeg's levels shown; AV_LOG_QUIET shows none.
std::atomic<int> g_shownLevel{AV_LOG_QUIET};
thread_local const std::string* t_path = nullptr;
thread_local bool t_probe = false;
// FFmpeg may give a line in several calls: it is shown whole, by its first part's level.
thread_local std::string t_line;
thread_local bool t_inLine = false;
thread_local bool t_lineShown = false;

bool isShown(int level) {
    const int shown = g_shownLevel.load();
    return level <= (t_probe && shown < AV_LOG_VERBOSE ? AV_LOG_QUIET : shown);
}

// The part of FFmpeg that speaks ("mov,mp4,m4a,3gp,3g2,mj2", "aac"), without the address that
// FFmpeg's own log adds.
std::string partOf(void* context) {
    const AVClass* avClass = context != nullptr ? *static_cast<const AVClass* const*>(context) : nullptr;
    const char* name =
        avClass != nullptr && avClass->item_name != nullptr ? avClass->item_name(context) : nullptr;
    return name != nullptr ? "[" + std::string(name) + "] " : "";
}

std::string formatted(const char* format, va_list arguments) {
    va_list measure;
    va_copy(measure, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string text(static_cast<size_t>(std::max(length, 0)), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, arguments);
    return text;
}

void logToCvnhost(void* context, int level, const char* format, va_list arguments) {
    if (!t_inLine) {
        t_lineShown = isShown(level);
        t_line = t_lineShown ? partOf(context) : std::string();
    }
    // A hidden part is formatted only to learn whether it ends its line.
    const size_t length = std::strlen(format);
    bool ends = length > 0 && format[length - 1] == '\n';
    if (t_lineShown || !ends) {
        const std::string text = formatted(format, arguments);
        ends = !text.empty() && text.back() == '\n';
        t_line += t_lineShown ? text : std::string();
    }
    t_inLine = !ends;
    if (ends && t_lineShown) {
        std::fprintf(stderr, "cvnhost: %s: %s", t_path != nullptr ? t_path->c_str() : "FFmpeg",
                     t_line.c_str());
    }
}

void routeFfmpegLog() {
    static std::once_flag routed;
    std::call_once(routed, [] { av_log_set_callback(logToCvnhost); });
}

} // namespace

void showFfmpegMessages(bool everything) {
    routeFfmpegLog();
    g_shownLevel = everything ? AV_LOG_VERBOSE : AV_LOG_ERROR;
    // FFmpeg skips the work of some messages below its own level.
    av_log_set_level(g_shownLevel);
}

FfmpegMessagesOf::FfmpegMessagesOf(const std::string& path, bool probe)
    : previousPath_(t_path), previousProbe_(t_probe) {
    t_path = &path;
    t_probe = probe;
}

FfmpegMessagesOf::~FfmpegMessagesOf() {
    t_path = previousPath_;
    t_probe = previousProbe_;
}

FfmpegInput::~FfmpegInput() {
    const FfmpegMessagesOf messages(path_, t_probe);
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
    routeFfmpegLog();
    path_ = path;
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
