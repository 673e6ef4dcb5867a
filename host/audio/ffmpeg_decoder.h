// Part of the module of FFmpeg's libraries (ffmpeg_module.h). Audio that libsndfile and libmpg123
// do not read, decoded with FFmpeg's libraries: M4A (ALAC and
// AAC), WavPack, APE, WMA, Musepack, TTA and the rest libavformat knows. The first audio stream of
// the file (a music video's sound, say), as interleaved floats at the file's own rate, from any
// sample format. More than two channels are folded to stereo with libswresample's matrix: centre and
// surrounds at -3 dB into each side, the low-frequency channel left out, the whole scaled so that
// no sum exceeds full scale. Gapless: FFmpeg removes an AAC file's priming and padding where its
// edit list names them; an iTunSMPB tag, whose length FFmpeg does not use, is read here and trimmed by.
//
// A stated length is a claim about the audio, checked against what is decoded. A stream that ends
// well short of the length its container states (an MP4 sample table, WavPack's, APE's and TTA's
// counts, a Matroska file's duration when the audio is its only track) is refused as truncated. A
// length trimmed to (an iTunSMPB tag's, an MP4 file's) that the decoder's undamaged frames outrun by
// more than the padding it names is not this audio's: every frame is kept, and a note says so; as it
// does for a tag that states more than the container holds.
#pragma once

#include "audio/ffmpeg_input.h"
#include "audio/ffmpeg_module.h"
#include "audio/stated_length.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodec;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct AVStream;
struct SwrContext;

namespace cvnhost {

class FfmpegDecoder : public ModuleDecoder {
  public:
    // Null with the cause in `error`: not audio FFmpeg reads, no audio stream, protected (DRM); a
    // file of a format read elsewhere (isReadElsewhere) with `refusalIfReadElsewhere`, when given.
    static std::unique_ptr<FfmpegDecoder> open(const std::string& path, std::string& error,
                                               const char* refusalIfReadElsewhere = nullptr);
    ~FfmpegDecoder() override;
    FfmpegDecoder(const FfmpegDecoder&) = delete;
    FfmpegDecoder& operator=(const FfmpegDecoder&) = delete;

    int channels() const override { return channels_; }
    int sampleRate() const override { return sampleRate_; }
    int64_t frames() const override { return frames_; }
    const std::string& codecName() const override { return codecName_; }
    // A stream that is damaged, or ends well before the length its container gives, is an error.
    int64_t read(float* samples, size_t count, std::string& error) override;
    std::vector<std::string> takeNotes() override { return std::move(notes_); }

    // The container formats whose files libsndfile or libmpg123 read: FFmpeg does not take those
    // over, so that their output, and their refusals of damaged files, stay as they are.
    static bool isReadElsewhere(const AVFormatContext& format);

  private:
    FfmpegDecoder() = default;
    bool openStream(std::string& error);
    bool openCodec(const AVCodec* codec, std::string& error);
    // The frames the track holds, and those to give before its end, from its stream and tags.
    void takeLength(const AVStream& stream);
    // A Matroska file's duration, which is its audio's when that is its only track.
    void takeMatroskaDuration();
    // libswresample, set up to give floats in one or two channels at the decoder's rate.
    bool startConversion();
    bool decodeMore(std::string& error);
    bool convert(const AVFrame* frame, std::string& error);
    bool fill(size_t count, std::string& error);
    bool trimming() const { return trimTo_ >= 0 && !keepingAll_; }
    int64_t pendingFrames() const {
        return static_cast<int64_t>((pending_.size() - pendingAt_) / static_cast<size_t>(channels_));
    }
    // At the end: the audio against the lengths stated, once.
    bool finish(std::string& error);

    FfmpegInput input_;
    AVFormatContext* format_ = nullptr; // input_'s
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
    int64_t trimTo_ = -1;                  // the frames to give (an exact length), -1: to the end
    int64_t allowance_ = kLengthTolerance; // past trimTo_: the padding that a tag names, and a frame
    int64_t expected_ = 0;                 // the frames a whole stream gives, 0: not stated
    std::string trimBy_, expectedBy_;      // what states them: "its iTunSMPB tag", ...
    bool keepingAll_ = false;              // trimTo_ proved to be another audio's
    int64_t converted_ = 0;                // frames decoded
    int64_t given_ = 0;
    std::vector<std::string> notes_;
    bool flushing_ = false;
    bool ended_ = false;
    bool finished_ = false;
};

} // namespace cvnhost
