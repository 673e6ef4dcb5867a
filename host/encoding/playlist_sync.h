// The playlists of the input folders kept in the copy (--playlists): found as the audio files are
// (hidden folders aside, the output tree left out), each written at its place below --out-dir with
// its entries naming the tracks' outputs (planning/playlists.h), beside and then renamed; with
// --delete, those in the copy whose source is gone removed. A playlist without cvnhost's marker is
// never written over nor removed.
#pragma once

#include "track_records.h"

#include <atomic>
#include <string>
#include <vector>

namespace cvnhost {

struct PlaylistRequest {
    std::vector<std::string> inputs; // as given: the folders among them hold the playlists
    std::string outDirectory;
    bool rewrite = false;    // --update (or --overwrite): a playlist of cvnhost's that would change
    bool removeGone = false; // --delete: a playlist of cvnhost's whose source is gone is removed
    // Every folder of the inputs was read, so a playlist not found is gone (else none is removed).
    bool inputsReadWhole = false;
    bool quiet = false;
};

struct PlaylistCounts {
    size_t written = 0;
    size_t removed = 0;
    size_t failed = 0; // each named on standard error
};

// After the tracks' work (`tracks`, with their outcomes): the playlists written and removed, until
// `stop`. An entry names a track only where its output is in the copy now.
PlaylistCounts syncPlaylists(const std::vector<PlannedTrack>& tracks, const PlaylistRequest& request,
                             const std::atomic<bool>& stop);

// --dry-run: "playlist PATH" for each playlist it would write and "remove PATH" for each it would
// remove, on standard output, the tracks taken as planned; nothing is written. How many of each.
PlaylistCounts listPlaylists(const std::vector<PlannedTrack>& tracks, const PlaylistRequest& request);

} // namespace cvnhost
