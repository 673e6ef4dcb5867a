// An input file read with libsndfile (WAV in every sample format, AIFF, FLAC, Ogg Vorbis, Opus
// and the rest it reads), libmpg123 (MP3) or FFmpeg's libraries (M4A, WavPack, APE, WMA, ... and
// anything with more than two channels), and made what the plug-in takes: 16-bit stereo at 44100 Hz. Mono
// goes to both channels; another rate is resampled with libsoxr at high quality; 16-bit input at 44100 Hz
// passes through sample for sample.
#pragma once

#include "audio/frame_source.h"
#include "tags/track_tags.h"
#include "track_records.h"

#include <memory>
#include <optional>

typedef struct sf_private_tag SNDFILE;
struct SF_INFO;
typedef struct soxr* soxr_t;
struct mpg123_handle_struct;

namespace cvnhost {

class ModuleDecoder;

class AudioInput : public FrameSource {
  public:
    // Opens the file, or reads it as `raw` samples. On failure returns null with the cause in
    // `error` (unreadable, not audio).
    static std::unique_ptr<AudioInput> open(const std::string& path, std::string& error,
                                            const std::optional<RawFormat>& raw = std::nullopt);
    ~AudioInput() override;

    bool read(std::vector<uint32_t>& frames, std::string& error) override;
    int64_t expectedFrames() const override;

    // How many frames at 44100 Hz the file at `path` will give, from its header alone; 0 when it
    // cannot be read. For the progress bar, which needs the total before any track is opened.
    static int64_t expectedFramesOf(const std::string& path);

    // The few texts libsndfile reads from the header (the track number of a WAV file's INFO list,
    // say), which fill what the file's tags, read with TagLib, lack.
    const TrackTags& strings() const { return strings_; }
    // "FLAC 48000 Hz mono", say.
    std::string description() const;
    bool resampled() const { return resampler_ != nullptr; }
    int channels() const { return channels_; }

  private:
    AudioInput() = default;
    bool readPassThrough(std::vector<uint32_t>& frames, std::string& error);
    bool readConverted(std::vector<uint32_t>& frames, std::string& error);
    void appendFloats(const float* samples, size_t frameCount, std::vector<uint32_t>& frames) const;
    // Up to `count` frames as floats; the number read, 0 at the end, or -1 with the cause in `error`.
    int64_t readFloats(float* samples, size_t count, std::string& error);
    bool openSndfile(const std::string& path, const SF_INFO& info, std::string& error);
    bool openFfmpeg(const std::string& path, std::string& error);
    bool openMpeg(const std::string& path, std::string& error);

    SNDFILE* file_ = nullptr;
    // MPEG audio is decoded with libmpg123 itself: libsndfile stops at the length it estimated
    // from the first frame, which for a VBR file without a Xing header is far from its end.
    mpg123_handle_struct* mpeg_ = nullptr;
    // What neither reads (M4A, WavPack, APE, WMA, ...) or has more than two channels.
    std::unique_ptr<ModuleDecoder> ffmpeg_;
    soxr_t resampler_ = nullptr;
    int channels_ = 0;
    int sampleRate_ = 0;
    int format_ = 0;
    int64_t frames_ = 0; // from the header; 0 when it does not say, or cannot be trusted
    int64_t framesRead_ = 0;
    bool ended_ = false;
    bool flushed_ = false;
    TrackTags strings_;
    std::vector<int16_t> shortBlock_;
    std::vector<float> floatBlock_;
    std::vector<float> resampledBlock_;
};

} // namespace cvnhost
