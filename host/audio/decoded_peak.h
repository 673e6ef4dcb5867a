// The sample peak of an MP3 file as a player decodes it: libmpg123 in floating point, gapless, so
// that a peak above full scale (a square wave at 0.98 decodes to 1.285) is reported as it is.
// Players take the ReplayGain peak to keep a gain from clipping: it must never understate this.
#pragma once

#include <optional>
#include <string>

namespace cvnhost {

// The largest magnitude of any decoded sample, 1.0 being full scale; nothing with the cause in
// `error` when the file cannot be decoded.
std::optional<double> decodedPeak(const std::string& path, std::string& error);

} // namespace cvnhost
