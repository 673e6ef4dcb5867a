// `cvnhost encode`: its options, and the run they ask for, from the plan of every path it writes to
// the summary.
#pragma once

#include "cli/common_options.h"
#include "planning/shard.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace cvnhost {

struct EncodeCommand {
    CommonOptions common;
    std::vector<std::string> files;
    std::string output;
    std::string outDirectory;
    std::string nameTemplate;
    std::string manifest;
    std::optional<Shard> shard;
    std::string report;
    bool keepPartial = false;
    bool overwrite = false;
    bool update = false;
    bool deleteOrphans = false;
    bool dryRun = false;
    std::string lossy = "encode";
    // What the device the copy is made for needs: names it takes, covers it shows, the order it
    // plays, the playlists it offers, and a card that must be there.
    bool fatNames = false;
    bool asciiNames = false;
    size_t nameMax = 0; // 0: as long as the output's file system takes
    size_t pathMax = 0; // 0: no limit but the file system's
    int coverSize = 0;  // 0: covers as given
    bool playOrder = false;
    bool playlists = false;
    bool mounted = false;
    std::string replayGain = "off";
    // --raw and the shape of its samples, as the encoder project's program takes them.
    bool raw = false;
    double rawKiloHertz = 44.1;
    int rawChannels = 2;
    int rawBits = 16;
    bool rawUnsigned = false;
    bool rawBigEndian = false;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
};

// Adds the command and its options to `app`, filling `command` when it is parsed.
CLI::App* addEncodeCommand(CLI::App& app, EncodeCommand& command);

// The command's options but its inputs, for a command that runs an encode of inputs of its own
// (`sync`, whose inputs are a profile's).
void addEncodeOptions(CLI::App* command, EncodeCommand& encode);

int runEncode(const EncodeCommand& command);

} // namespace cvnhost
