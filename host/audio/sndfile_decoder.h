// The decoders of what libsndfile reads: as floats, the first link of a chain (float_source.h), or
// for 16-bit samples at 44100 Hz as the plug-in's frames exactly as the file holds them. Either,
// at its end, checks that the file held what its header promised.
#pragma once

#include "audio/float_source.h"
#include "audio/frame_source.h"

#include <cstdint>
#include <memory>
#include <string>

typedef struct sf_private_tag SNDFILE;

namespace cvnhost {

// Whether the last frame a file's header states can be sought and read, which costs a seek: a
// FLAC file cut short keeps its STREAMINFO whole. True for a file that states no length; false
// for one libsndfile cannot open.
bool statedEndIsReadable(const std::string& path);

// An open libsndfile file and how much of it was read.
class SndfileReader {
  public:
    // Takes `file`.
    explicit SndfileReader(SNDFILE* file) : file_(file) {}
    // `frames` at `sampleRate` is the count its header gives (0 when it gives none).
    void expect(int64_t frames, int sampleRate) {
        frames_ = frames;
        sampleRate_ = sampleRate;
    }
    ~SndfileReader();
    SndfileReader(const SndfileReader&) = delete;
    SndfileReader& operator=(const SndfileReader&) = delete;

    SNDFILE* file() const { return file_; }
    // Counts `count` frames read, or says why a read failed (a negative count or libsndfile's
    // error); at the end (0), false when the file ended before its header's count.
    bool counted(int64_t count, std::string& error);

  private:
    SNDFILE* file_;
    int64_t frames_ = 0;
    int sampleRate_ = 0;
    int64_t framesRead_ = 0;
};

class SndfileFloats : public FloatSource {
  public:
    SndfileFloats(std::unique_ptr<SndfileReader> reader, int channels, int sampleRate)
        : reader_(std::move(reader)), channels_(channels), sampleRate_(sampleRate) {}

    bool read(std::vector<float>& samples, std::string& error) override;
    int channels() const override { return channels_; }
    int sampleRate() const override { return sampleRate_; }

  private:
    std::unique_ptr<SndfileReader> reader_;
    int channels_;
    int sampleRate_;
};

// 16-bit samples at the plug-in's rate go to it exactly as the file holds them.
class SndfileFrames : public FrameSource {
  public:
    SndfileFrames(std::unique_ptr<SndfileReader> reader, int channels, int64_t frames)
        : reader_(std::move(reader)), channels_(channels), frames_(frames) {}

    bool read(std::vector<uint32_t>& frames, std::string& error) override;
    int64_t expectedFrames() const override { return frames_; }

  private:
    std::unique_ptr<SndfileReader> reader_;
    int channels_;
    int64_t frames_;
    std::vector<int16_t> monoBlock_;
};

} // namespace cvnhost
