// Which input goes to which output in `cvnhost encode`: INPUT OUTPUT, one INPUT with --output, or
// many with --out-dir, each named after its input or by --name from its tags; and the tracks of a
// manifest, each with its own output or named the same way. A folder among the inputs stands for
// the audio files in it and its subfolders, and its tree is mirrored under --out-dir.
#pragma once

#include "audio/input_formats.h"
#include "track_records.h"
#include "planning/manifest.h"
#include "planning/name_rules.h"
#include "tags/source_marker.h"
#include "tags/track_tags.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cvnhost {

// Whether the name ends in .mp3, any case.
bool hasMp3Extension(const std::filesystem::path& name);

// The output of a lone input: beside it, its extension .mp3 (an MP3 input's name with .mp3 added).
std::string besideAsMp3(const std::string& input);

struct OutputRequest {
    std::vector<std::string> files;
    std::vector<ManifestEntry> manifest; // tracks after the files
    std::string output;                  // --output
    std::string outDirectory;            // --out-dir
    std::string nameTemplate;            // --name, checked; with --out-dir only
    // What a track's name is made from (with --name only): the tags of the options, which beat a
    // manifest's, which beat the input's own.
    TrackTags givenTags;
    std::function<TrackTags(const std::string& input)> inputTagsOf;
    // How the names below --out-dir are made for the device, and what stands there already: the
    // names in a folder, and the marker of a file (name_clashes.h).
    NameRules nameRules;
    std::function<std::vector<std::string>(const std::string& folder)> namesIn;
    std::function<std::optional<SourceMarker>(const std::string& file)> markerOf;
};

struct PlannedTracks {
    std::vector<Track> tracks;
    // The folders and files below a folder input that could not be read, each with its cause.
    std::vector<std::string> unreadable;
    // Links to folders that were left out, each with why (it leads to a folder already read).
    std::vector<std::string> notes;
};

// The input and output pairs, folders expanded in the order of their paths (without the output
// tree, where --out-dir lies inside an input folder; links to folders followed, each real folder
// once), or nothing with the usage error in `error`.
// Whether the outputs may be written is planWrites' question (write_plan.h).
std::optional<PlannedTracks> planOutputs(const OutputRequest& request, std::string& error);

} // namespace cvnhost
