#include "encoding/run_report.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace cvnhost {

namespace {

const char* statusName(TrackOutcome::Status status) {
    switch (status) {
    case TrackOutcome::Status::Encoded:
        return "encoded";
    case TrackOutcome::Status::CutShort:
        return "cut-short";
    case TrackOutcome::Status::NotStarted:
        return "not-started";
    case TrackOutcome::Status::Failed:
        break;
    }
    return "failed";
}

std::string reportText(const std::vector<ReportLine>& lines) {
    std::string text;
    for (const ReportLine& line : lines) {
        const nlohmann::ordered_json object = {{"input", line.input},
                                               {"output", line.output},
                                               {"status", line.status},
                                               {"cause", line.cause},
                                               {"seconds", std::round(line.seconds * 1000) / 1000},
                                               {"bytes", line.bytes}};
        // Paths need not be UTF-8: bytes that are not are replaced rather than refused.
        text += object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    }
    return text;
}

} // namespace

std::vector<ReportLine> reportLines(const std::vector<PlannedTrack>& tracks) {
    using Action = PlannedTrack::Action;
    std::vector<ReportLine> lines;
    for (const PlannedTrack& track : tracks) {
        const TrackOutcome& outcome = track.outcome;
        ReportLine line{track.item.input, track.item.output, "skipped", "exists", 0, 0};
        if (track.action == Action::Encode) {
            line.status = statusName(outcome.status);
            line.cause = outcome.message;
            line.seconds = outcome.seconds;
            line.bytes = outcome.bytes;
        } else if (!outcome.message.empty()) { // refused, left out, or its retag or copy failed
            line.status = track.action == Action::LeaveOut ? "skipped" : "failed";
            line.cause = outcome.message;
        } else if (outcome.status == TrackOutcome::Status::NotStarted) { // a stop came first
            line.status = statusName(outcome.status);
            line.cause = "stopped";
        } else {
            if (track.action == Action::Retag || track.action == Action::Copy ||
                track.action == Action::Move) {
                line.status = track.action == Action::Retag  ? "retagged"
                              : track.action == Action::Copy ? "copied"
                                                             : "moved";
                line.cause.clear();
            }
            std::error_code sizeError;
            const uintmax_t size = std::filesystem::file_size(track.item.output, sizeError);
            line.bytes = sizeError ? 0 : size;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

bool writeReport(PendingOutput& report, const std::vector<ReportLine>& lines, std::string& error) {
    const std::string text = reportText(lines);
    std::FILE* file = std::fopen(report.temporaryPath().c_str(), "wb");
    bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = file != nullptr && std::fclose(file) == 0 && written;
    std::string commitError;
    if (!written || !report.commit(commitError)) {
        error = report.output() + ": the report could not be written: " +
                (written ? commitError : std::string(std::strerror(errno)));
        return false;
    }
    return true;
}

} // namespace cvnhost
