// The machine-readable result of a run (`--report FILE`): one JSON line a track, in the order of
// the run's tracks, for the scheduler that ran it:
//   {"input": "a.flac", "output": "mp3/a.mp3", "status": "encoded", "cause": "", "seconds": 1.92,
//    "bytes": 480123}
// status: encoded, skipped (the output exists), failed, cut-short or not-started (Ctrl-C).
#pragma once

#include "files/pending_output.h"
#include "track_records.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cvnhost {

struct ReportLine {
    std::string input;
    std::string output;
    std::string status;
    std::string cause;
    double seconds = 0; // encoding the track, wall time
    uintmax_t bytes = 0;
};

// The run's tracks in order, each with what became of it: encoded (or cut-short, failed,
// not-started) from its outcome; skipped with the cause "exists" when its output was kept, or the
// cause it was left out for; retagged or copied; failed with the cause when its output folder could
// not be written or its retag or copy failed.
std::vector<ReportLine> reportLines(const std::vector<PlannedTrack>& tracks);

// Writes the report into its pending file, reserved before the first track so that a report that
// cannot be written is found before any work, and puts it in place; false with the cause in `error`.
bool writeReport(PendingOutput& report, const std::vector<ReportLine>& lines, std::string& error);

} // namespace cvnhost
