// Part of the module of FFmpeg's libraries (ffmpeg_module.h). Audio that libsndfile and libmpg123
// do not read, decoded with FFmpeg's libraries: M4A (ALAC and
// AAC), WavPack, APE, WMA, Musepack, TTA and the rest libavformat knows. The first audio stream of
// the file (a music video's sound, say), as interleaved floats at the file's own rate, from any
// sample format. More than two channels are folded to stereo with libswresample's matrix: centre and
// surrounds at -3 dB into each side, the low-frequency channel left out, the whole scaled so that
// no sum exceeds full scale. Gapless: FFmpeg removes an AAC file's priming and padding where its
// edit list names them; an iTunSMPB tag, which FFmpeg does not read, is read here and trimmed by.
#pragma once

#include "audio/ffmpeg_module.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct AVStream;
struct SwrContext;

namespace cvnhost {

class FfmpegDecoder : public ModuleDecoder {
  public:
    // Null with the cause in `error`: not audio FFmpeg reads, no audio stream, protected (DRM).
    static std::unique_ptr<FfmpegDecoder> open(const std::string& path, std::string& error);
    ~FfmpegDecoder() override;
    FfmpegDecoder(const FfmpegDecoder&) = delete;
    FfmpegDecoder& operator=(const FfmpegDecoder&) = delete;

    int channels() const override { return channels_; }
    int sampleRate() const override { return sampleRate_; }
    int64_t frames() const override { return frames_; }
    const std::string& codecName() const override { return codecName_; }
    // A stream that is damaged, or ends well before the length its container gives, is an error.
    int64_t read(float* samples, size_t count, std::string& error) override;

    // The container formats whose files libsndfile or libmpg123 read: FFmpeg does not take those
    // over, so that their output, and their refusals of damaged files, stay as they are.
    static bool isReadElsewhere(const std::string& path);

  private:
    FfmpegDecoder() = default;
    // The frames the track holds, and those to give before its end, from its stream and tags.
    void takeLength(const AVStream& stream);
    // libswresample, set up to give floats in one or two channels at the decoder's rate.
    bool startConversion();
    bool decodeMore(std::string& error);
    bool convert(const AVFrame* frame, std::string& error);
    bool checkLength(std::string& error) const;

    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    SwrContext* resampler_ = nullptr; // format, layout and channels only; never the rate
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int stream_ = -1;
    int channels_ = 0;
    int sampleRate_ = 0;
    int64_t frames_ = 0;
    std::string codecName_;
    std::vector<float> pending_; // converted, not yet read
    size_t pendingAt_ = 0;
    int64_t remaining_ = -1; // frames still to give (the track's exact length), -1: to the end
    int64_t decoded_ = 0;    // frames given
    bool flushing_ = false;
    bool ended_ = false;
};

} // namespace cvnhost
