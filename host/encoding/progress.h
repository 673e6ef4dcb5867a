// What cvnhost tells the user while it works, on stderr: a progress bar when stderr is a terminal
// (tracks done, percent, speed as a multiple of real time, time left), one line per finished track
// otherwise, nothing with --quiet. Called from every encoding thread.
#pragma once

#include "track_records.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace cvnhost {

class Progress {
  public:
    enum class Mode { Bar, Lines, Quiet };
    static Mode modeFor(bool quiet);

    Progress(Mode mode, size_t trackCount, int64_t expectedFrames);

    // Frames handed to the plug-in, by any track.
    void advance(int64_t frames);
    // A track is done: its line in Lines mode, or a line above the bar for a failure.
    void finished(const std::string& input, const std::string& output, const TrackOutcome& outcome);
    // Clears the bar.
    void close();

  private:
    void drawBar(bool force);
    void clearBar();
    double secondsSinceStart() const;

    std::mutex lock_;
    const Mode mode_;
    const size_t trackCount_;
    const int64_t expectedFrames_;
    int64_t framesDone_ = 0;
    size_t tracksDone_ = 0;
    bool barShown_ = false;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDrawn_{};
};

} // namespace cvnhost
