#include "cli/run_summary.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>

namespace cvnhost {

namespace {

// What became of the lossy inputs, or nothing.
std::string lossyText(const RunTracks& run, size_t copied) {
    std::string text;
    if (run.lossyEncoded > 0) {
        text +=
            "; " + std::to_string(run.lossyEncoded) +
            " lossy input(s) encoded again, their quality lost twice (--lossy copy keeps MP3 inputs as they "
            "are)";
    }
    if (copied > 0) {
        text += "; " + std::to_string(copied) + " MP3 input(s) copied as they are";
    }
    if (const size_t leftOut = run.count(PlannedTrack::Action::LeaveOut); leftOut > 0) {
        text += "; " + std::to_string(leftOut) + " lossy input(s) left out";
    }
    return text;
}

// "; 2 retagged; 3 removed: their sources are gone", or nothing.
std::string syncText(const RunCounts& counts) {
    const size_t gone = counts.removed - std::min(counts.removed, counts.duplicatesRemoved);
    return (counts.retagged > 0 ? "; " + std::to_string(counts.retagged) + " retagged" : std::string()) +
           (counts.moved > 0 ? "; " + std::to_string(counts.moved) + " moved" : std::string()) +
           (gone > 0 ? "; " + std::to_string(gone) + " removed: their sources are gone" : std::string()) +
           (counts.duplicatesRemoved > 0 ? "; " + std::to_string(counts.duplicatesRemoved) +
                                               " removed: their sources have their output elsewhere"
                                         : std::string()) +
           (counts.playlists > 0 ? "; " + std::to_string(counts.playlists) + " playlist(s) written"
                                 : std::string()) +
           (counts.playlistsRemoved > 0
                ? "; " + std::to_string(counts.playlistsRemoved) + " playlist(s) removed"
                : std::string());
}

// "; 2 refused (named above)", or nothing.
std::string refusedText(const RunTracks& run) {
    const size_t refused = run.count(PlannedTrack::Action::Refuse);
    return refused > 0 ? "; " + std::to_string(refused) + " refused (named above)" : std::string();
}

// "; 2 album(s) measured (3 existing outputs encoded again for their album)", or nothing.
std::string albumText(const RunTracks& run) {
    std::set<std::string> measured;
    for (const PlannedTrack* track : run.tracksFor(PlannedTrack::Action::Encode)) {
        if (track->outcome.status == TrackOutcome::Status::Encoded &&
            track->outcome.tags.more.count("REPLAYGAIN_ALBUM_GAIN") == 1) {
            measured.insert(track->item.album);
        }
    }
    if (measured.empty()) {
        return {};
    }
    return "; " + std::to_string(measured.size()) + " album(s) measured" +
           (run.encodedAgainForAlbum > 0 ? " (" + std::to_string(run.encodedAgainForAlbum) +
                                               " existing output(s) encoded again for their album)"
                                         : "");
}

// " as 128 kbit/s, stereo", or ": 1 as VBR quality 2, mono, 10 as ..."; whether a mono input took
// the mono format by default.
std::string encodedAsText(const RunTracks& run, const EncodeOptions& options, bool& monoDefault) {
    // Tracks by the format they got: a mono input may have taken the mono format.
    std::map<std::string, size_t> formats;
    monoDefault = false;
    for (const PlannedTrack* track : run.tracksFor(PlannedTrack::Action::Encode)) {
        const TrackOutcome& outcome = track->outcome;
        if (outcome.status == TrackOutcome::Status::Encoded ||
            outcome.status == TrackOutcome::Status::CutShort) {
            ++formats[outcome.formatDescription];
            monoDefault = monoDefault || outcome.formatIndex != options.formatIndex;
        }
    }
    std::string encodedAs = formats.size() > 1 ? ":" : "";
    for (const auto& [description, count] : formats) {
        encodedAs += (encodedAs.size() > 1 ? ", " : " ") +
                     (formats.size() > 1 ? std::to_string(count) + " as " : std::string("as ")) + description;
    }
    if (formats.empty()) {
        encodedAs = " as " + describeEncoding(options.formatIndex, options.vbr);
    }
    return encodedAs;
}

} // namespace

void printRunSummary(const RunTracks& run, const EncodeOptions& options, const RunCounts& counts,
                     size_t failed) {
    bool monoDefault = false;
    const std::string encodedAs = encodedAsText(run, options, monoDefault);
    std::string skippedText =
        (counts.skipped > 0 ? std::to_string(counts.skipped) + " skipped: exists (--overwrite replaces)"
                            : std::string()) +
        (counts.upToDate > 0 ? "; " + std::to_string(counts.upToDate) + " up to date" : std::string()) +
        syncText(counts) + lossyText(run, counts.copied) + refusedText(run);
    if (!skippedText.empty() && run.tracks.size() > 1) {
        skippedText += "; of " + std::to_string(run.tracks.size()) + " input(s)";
    }
    skippedText.erase(0, skippedText.rfind("; ", 0) == 0 ? 2 : 0);
    const size_t written = run.count(PlannedTrack::Action::Encode);
    if (written == 0 && !skippedText.empty()) {
        std::fprintf(stderr, "cvnhost: nothing to encode: %s\n", skippedText.c_str());
    } else if (written > 1 || failed > 0 || monoDefault || !skippedText.empty()) {
        // Of the encodes, how many came to a file only when some did not.
        const std::string encoded = failed > 0 ? std::to_string(written - failed) + " of " +
                                                     std::to_string(written) + " track(s) encoded"
                                               : std::to_string(written) + " encoded";
        std::fprintf(stderr, "cvnhost: %s%s%s%s%s%s\n", encoded.c_str(), encodedAs.c_str(),
                     monoDefault ? " (mono inputs in the mono format; --stereo for two channels)" : "",
                     albumText(run).c_str(), skippedText.empty() ? "" : ("; " + skippedText).c_str(),
                     failed > 0 ? "; see above for the rest" : "");
    }
}

void printPlanSummary(const RunTracks& run, size_t removals, size_t playlists) {
    using Action = PlannedTrack::Action;
    const std::pair<Action, const char*> kinds[] = {{Action::Encode, "encode"}, {Action::Retag, "retag"},
                                                    {Action::Mark, "mark"},     {Action::Move, "move"},
                                                    {Action::Copy, "copy"},     {Action::Keep, "keep"},
                                                    {Action::Refuse, "refuse"}};
    std::string text;
    for (const auto& [action, word] : kinds) {
        if (const size_t count = run.count(action); count > 0) {
            text += (text.empty() ? "" : ", ") + std::string(word) + " " + std::to_string(count);
        }
    }
    if (removals > 0) {
        text += std::string(text.empty() ? "" : ", ") + "remove " + std::to_string(removals);
    }
    if (playlists > 0) {
        text += std::string(text.empty() ? "" : ", ") + "write " + std::to_string(playlists) + " playlist(s)";
    }
    std::fprintf(stderr, "cvnhost: dry run, nothing done: it would %s, of %zu input(s)\n",
                 text.empty() ? "do nothing" : text.c_str(), run.tracks.size());
}

} // namespace cvnhost
