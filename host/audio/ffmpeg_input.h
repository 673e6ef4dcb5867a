// Part of the module of FFmpeg's libraries (ffmpeg_module.h). A file opened with libavformat as
// every opening of it in cvnhost does: as it is, or, when it is a Matroska file with more tags than
// are read (matroska_tags.h), through an AVIOContext of its own that hides the rest.
#pragma once

#include "audio/matroska_tags.h"

#include <optional>
#include <string>

struct AVFormatContext;
struct AVIOContext;

namespace cvnhost {

class FfmpegInput {
  public:
    FfmpegInput() = default;
    ~FfmpegInput();
    FfmpegInput(const FfmpegInput&) = delete;
    FfmpegInput& operator=(const FfmpegInput&) = delete;

    // avformat_open_input's status; the format is open when it is 0.
    int open(const std::string& path);
    AVFormatContext* format() const { return format_; }
    // What of the file's tags was left out, when anything was.
    const std::optional<MatroskaTagsBound>& tagsBound() const { return bound_; }

  private:
    static int readPacket(void* opaque, uint8_t* buffer, int size);
    static int64_t seek(void* opaque, int64_t offset, int whence);

    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;
    int descriptor_ = -1;
    int64_t position_ = 0;
    int64_t size_ = 0;
    std::optional<MatroskaTagsBound> bound_;
};

} // namespace cvnhost
