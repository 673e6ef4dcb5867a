// The length a file states for its audio (a header's sample count, a container's duration, a
// gapless tag) against the audio its decoder gives, in the words a refusal or a note uses. Shared
// by the decoders of cvnhost and of its FFmpeg module, so it is inline only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace cvnhost {

// How far the audio may end short of a stated length and still be whole: an AAC or MP3 stream's
// last frame, and the millisecond a Matroska duration is rounded to.
inline constexpr int64_t kLengthTolerance = 2048;

inline std::string secondsOf(int64_t frames, int sampleRate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(frames) / sampleRate);
    return text;
}

// `statedBy` names the figure: "its Xing header", "its iTunSMPB tag", ...
inline std::string truncatedError(int64_t held, int64_t stated, int sampleRate, const std::string& statedBy) {
    return "is truncated: it holds " + secondsOf(held, sampleRate) + " (" + std::to_string(held) +
           " frames) of the " + secondsOf(stated, sampleRate) + " (" + std::to_string(stated) + " frames) " +
           statedBy + " states";
}

inline std::string audioKeptNote(int64_t held, int64_t stated, int sampleRate, const std::string& statedBy) {
    return statedBy + " says " + secondsOf(stated, sampleRate) + ", the audio holds " +
           secondsOf(held, sampleRate) + ": the audio is kept";
}

} // namespace cvnhost
