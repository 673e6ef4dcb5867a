#include "planning/output_index.h"

#include "planning/content_digest.h"

#include <algorithm>

namespace cvnhost {

namespace fs = std::filesystem;

OutputIndex OutputIndex::of(const std::string& outDirectory, const RunSources& sources) {
    OutputIndex index;
    std::vector<std::string> unreadable; // named by --delete, which must not act on them
    walkOutputFiles(
        outDirectory,
        [&](const fs::path& path) {
            std::optional<SourceMarker> marker = readMarker(path.string());
            if (!marker) {
                return;
            }
            const std::vector<fs::path> planned = sources.plannedOutputsOf(*marker);
            if (std::find(planned.begin(), planned.end(), canonicalPathOf(path)) == planned.end() &&
                isOwnMarker(*marker, path.string())) {
                index.entries_.push_back({path.string(), std::move(*marker), false});
            }
        },
        unreadable);
    return index;
}

std::optional<ClaimedOutput> OutputIndex::claimFor(const Track& item, const RunSources& sources) {
    for (Entry& entry : entries_) {
        if (!entry.claimed && RunSources::namesSourceOf(entry.marker, item)) {
            entry.claimed = true;
            return ClaimedOutput{entry.path, false};
        }
    }
    std::optional<std::string> audio;
    for (Entry& entry : entries_) {
        if (entry.claimed || sources.holds(entry.marker)) {
            continue;
        }
        if (!audio) {
            std::string error;
            audio = audioDigestOf(item.input, error).value_or("");
        }
        if (!audio->empty() && *audio == entry.marker.audio) {
            entry.claimed = true;
            return ClaimedOutput{entry.path, true};
        }
    }
    return std::nullopt;
}

} // namespace cvnhost
