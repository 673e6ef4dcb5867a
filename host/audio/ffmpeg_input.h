// Part of the module of FFmpeg's libraries (ffmpeg_module.h). A file opened with libavformat as
// every opening of it in cvnhost does: as it is, or, when it is a Matroska file with more tags than
// are read (matroska_tags.h), through an AVIOContext of its own that hides the rest. And FFmpeg's
// messages, which go through cvnhost's own.
#pragma once

#include "audio/matroska_tags.h"

#include <optional>
#include <string>

struct AVFormatContext;
struct AVIOContext;

namespace cvnhost {

// FFmpeg's messages from now on, each line on standard error as "cvnhost: FILE: [PART] TEXT": its
// errors, and with `everything` the rest up to its verbose level. Until it is called, none show
// (the library's own log would print them unnamed, among cvnhost's lines).
void showFfmpegMessages(bool everything);

// While it lives, the FFmpeg messages of this thread name `path`. A probe's errors are held back
// (not everything shown): the opening that decodes the file meets them again and reports them.
class FfmpegMessagesOf {
  public:
    explicit FfmpegMessagesOf(const std::string& path, bool probe = false);
    ~FfmpegMessagesOf();
    FfmpegMessagesOf(const FfmpegMessagesOf&) = delete;
    FfmpegMessagesOf& operator=(const FfmpegMessagesOf&) = delete;

  private:
    const std::string* previousPath_;
    bool previousProbe_;
};

class FfmpegInput {
  public:
    FfmpegInput() = default;
    ~FfmpegInput();
    FfmpegInput(const FfmpegInput&) = delete;
    FfmpegInput& operator=(const FfmpegInput&) = delete;

    // avformat_open_input's status; the format is open when it is 0.
    int open(const std::string& path);
    AVFormatContext* format() const { return format_; }
    const std::string& path() const { return path_; }
    // What of the file's tags was left out, when anything was.
    const std::optional<MatroskaTagsBound>& tagsBound() const { return bound_; }

  private:
    static int readPacket(void* opaque, uint8_t* buffer, int size);
    static int64_t seek(void* opaque, int64_t offset, int whence);

    std::string path_;
    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;
    int descriptor_ = -1;
    int64_t position_ = 0;
    int64_t size_ = 0;
    std::optional<MatroskaTagsBound> bound_;
};

} // namespace cvnhost
