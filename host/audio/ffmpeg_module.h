// FFmpeg's libraries in a module of their own (libcvnhost_ffmpeg.so, beside the plug-in), loaded
// the first time a file needs them. cvnhost itself links none of them: they bring a hundred more
// libraries into every process, whose load costs every run, and one of which (Highway, through
// libjxl) starts with an instruction that valgrind cannot run.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cvnhost {

// A decoder of the module: interleaved floats at the file's own rate, one or two channels.
class ModuleDecoder {
  public:
    virtual ~ModuleDecoder() = default;
    virtual int channels() const = 0;
    virtual int sampleRate() const = 0;
    // As the container says; 0 when it does not.
    virtual int64_t frames() const = 0;
    virtual const std::string& codecName() const = 0;
    // Up to `count` frames into `samples`; the number read, 0 at the end, or -1 with the cause in
    // `error`.
    virtual int64_t read(float* samples, size_t count, std::string& error) = 0;
    // What a user should be told of the file since the last call, each a sentence without the
    // file's name: tags left out at the open, a stated length not trusted at the end.
    virtual std::vector<std::string> takeNotes() = 0;
};

struct FfmpegModule {
    // Null with the cause in `error`: not audio FFmpeg reads, no audio stream, protected (DRM), and,
    // with `refusalIfReadElsewhere`, a file FFmpeg takes for a format that libsndfile or libmpg123
    // reads (that refusal is the cause then). One opening of the file for both.
    std::unique_ptr<ModuleDecoder> (*open)(const std::string& path, const char* refusalIfReadElsewhere,
                                           std::string& error);
    // The libraries' version and what they read, for `formats --inputs`.
    std::string (*description)();
    // Whether the codec of the file's first audio stream discards what it cannot hear (AAC, Vorbis,
    // WMA, ...), by FFmpeg's own description of it; nothing when the file cannot be read.
    std::optional<bool> (*isLossy)(const std::string& path);
    // A Matroska file's tags (those of the file, not of a track), as many as every opening reads
    // (matroska_tags.h), by TagLib's property names ("TITLE", "TRACKNUMBER"); nothing for another
    // file or one that cannot be read.
    std::optional<std::vector<std::pair<std::string, std::string>>> (*matroskaTags)(const std::string& path);
    // Which of FFmpeg's messages reach standard error, each naming its file: its errors, and with
    // `everything` the rest up to its verbose level (ffmpeg_input.h).
    void (*showMessages)(bool everything);
    // A picture of the tags at most `longSide` pixels on its long side, as a baseline JPEG
    // (picture_scaler.h); nothing when FFmpeg cannot decode it.
    std::optional<std::vector<uint8_t>> (*scaledPicture)(const std::vector<uint8_t>& picture, int longSide);
};

// The module's one export, looked up by this name.
inline constexpr const char* kFfmpegModuleEntry = "cvnhostFfmpegModule";
using FfmpegModuleEntry = const FfmpegModule* (*)();

// The module, loaded once (beside the program in the build tree, in lib/velmora of the install
// tree); null with the cause in `error` when it cannot be loaded.
const FfmpegModule* ffmpegModule(std::string& error);

// Every FFmpeg message shown (--verbose), not its errors alone; set before the first file is read.
void showEveryFfmpegMessage();

} // namespace cvnhost
