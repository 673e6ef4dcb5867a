#include "encoding/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace cvnhost {

namespace {

constexpr int kBarWidth = 24;

std::string clock(double seconds) {
    const auto total = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

} // namespace

Progress::Mode Progress::modeFor(bool quiet) {
    if (quiet) {
        return Mode::Quiet;
    }
    return isatty(STDERR_FILENO) ? Mode::Bar : Mode::Lines;
}

Progress::Progress(Mode mode, size_t trackCount, int64_t expectedFrames)
    : mode_(mode), trackCount_(trackCount), expectedFrames_(std::max<int64_t>(expectedFrames, 1)) {}

double Progress::secondsSinceStart() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void Progress::advance(int64_t frames) {
    std::lock_guard<std::mutex> guard(lock_);
    framesDone_ += frames;
    drawBar(false);
}

void Progress::finished(const std::string& input, const std::string& output, const TrackOutcome& outcome) {
    std::lock_guard<std::mutex> guard(lock_);
    ++tracksDone_;
    if (mode_ == Mode::Quiet && outcome.status != TrackOutcome::Status::Failed) {
        return; // quiet hides progress, never an error
    }
    const double seconds = static_cast<double>(outcome.framesEncoded) / CVN_PLUGIN_SAMPLE_RATE;
    std::string line;
    switch (outcome.status) {
    case TrackOutcome::Status::Encoded:
        if (mode_ == Mode::Lines) {
            char text[64];
            std::snprintf(text, sizeof text, "%.1f s, ", seconds);
            line = input + " -> " + output + " (" + text + outcome.formatDescription + ", " +
                   std::to_string(outcome.bytes) + " bytes)";
        }
        break;
    case TrackOutcome::Status::CutShort:
        line = input + " -> " + output + ": cut short after " + clock(seconds) +
               (outcome.partialPath.empty() ? ", not written" : ", kept as " + outcome.partialPath);
        break;
    case TrackOutcome::Status::Failed:
    case TrackOutcome::Status::NotStarted:
        line = "cvnhost: " + input + ": " + outcome.message;
        break;
    }
    if (!line.empty()) {
        clearBar();
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    drawBar(true);
}

void Progress::close() {
    std::lock_guard<std::mutex> guard(lock_);
    clearBar();
}

void Progress::clearBar() {
    if (barShown_) {
        std::fputs("\r\033[K", stderr);
        barShown_ = false;
    }
}

void Progress::drawBar(bool force) {
    if (mode_ != Mode::Bar) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDrawn_ < std::chrono::milliseconds(100)) {
        return;
    }
    lastDrawn_ = now;
    const double fraction =
        std::min(1.0, static_cast<double>(framesDone_) / static_cast<double>(expectedFrames_));
    const double elapsed = secondsSinceStart();
    const double speed =
        elapsed > 0 ? static_cast<double>(framesDone_) / CVN_PLUGIN_SAMPLE_RATE / elapsed : 0;
    const double left = fraction > 0 ? elapsed * (1 - fraction) / fraction : 0;
    const int filled = static_cast<int>(fraction * kBarWidth);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kBarWidth, '.');
    std::fprintf(stderr, "\r[%s] %zu/%zu tracks %3.0f%%  %.1fx  %s left\033[K", bar.c_str(), tracksDone_,
                 trackCount_, fraction * 100, speed, clock(left).c_str());
    barShown_ = true;
}

} // namespace cvnhost
