// An input file read with libsndfile (WAV in every sample format, AIFF, FLAC, Ogg Vorbis, Opus
// and the rest it reads), libmpg123 (MP3) or FFmpeg's libraries (M4A, WavPack, APE, WMA, ... and
// anything with more than two channels), and made what the plug-in takes: 16-bit stereo at 44100
// Hz. It builds the file's chain of sources: its decoder, libsoxr's resampler when the rate differs
// (resampler.h), and the rounding to 16-bit frames, a mono file in both channels (pcm_frames.h);
// 16-bit input at 44100 Hz passes through sample for sample (sndfile_decoder.h).
#pragma once

#include "audio/frame_source.h"
#include "tags/track_tags.h"
#include "track_records.h"

#include <memory>
#include <optional>

namespace cvnhost {

class AudioInput : public FrameSource {
  public:
    // Opens the file, or reads it as `raw` samples. On failure returns null with the cause in
    // `error` (unreadable, not audio).
    static std::unique_ptr<AudioInput> open(const std::string& path, std::string& error,
                                            const std::optional<RawFormat>& raw = std::nullopt);

    bool read(std::vector<uint32_t>& frames, std::string& error) override {
        return frames_->read(frames, error);
    }
    int64_t expectedFrames() const override { return frames_->expectedFrames(); }

    // How many frames at 44100 Hz the file at `path` will give, from its header alone; 0 when it
    // cannot be read. For the progress bar, which needs the total before any track is opened.
    static int64_t expectedFramesOf(const std::string& path);

    // The few texts libsndfile reads from the header (the track number of a WAV file's INFO list,
    // say), which fill what the file's tags, read with TagLib, lack.
    const TrackTags& tags() const { return tags_; }
    int channels() const { return channels_; }

  private:
    AudioInput() = default;

    std::unique_ptr<FrameSource> frames_;
    int channels_ = 0;
    TrackTags tags_;
};

} // namespace cvnhost
