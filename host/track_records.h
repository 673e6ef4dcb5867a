// The records a run passes around, from the planner to the encoder and the report: a track as
// planned, where its bytes go, how the run encodes it, and what became of it.
#pragma once

#include "tags/id3v2_tag.h"
#include "tags/track_tags.h"

#include "VelmoraPlugIn.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace cvnhost {

class OutputDevice;

// A track as the planner made it: what it is made from, where it goes, and what it belongs to.
struct Track {
    std::string input;
    std::string output;
    TrackTags tags;      // the track's own, from a manifest: they beat the input's
    std::string partial; // where a file cut short is kept (--keep-partial), planned with the rest
    std::string album;   // its album's identity with --replaygain album (album_identity.h), or empty
    std::string source;  // the input's path below its input folder (its name, for a file given), or empty
    // The name of the folder `source` is below (of the one holding a file given); none for a
    // manifest's track, whose source is its input as given.
    std::optional<std::string> root;
    // With --replaygain album: a digest of the album's identity and its tracks' sources, so that an
    // album that gained or lost a track is measured again; else empty.
    std::string albumDigest;
    // Where its folder cover is looked for: a folder above its own, up to its album's, when its own
    // has none (cover_folders.h); empty: its own folder.
    std::string coverFolder;
};

// Where a track goes: its output, and where a file cut short is kept (empty: STEM.partial.EXT).
struct OutputPaths {
    std::string output;
    std::string partial;
};

// Samples without a header (`--raw`, as the encoder project's program takes them with -r): their
// rate, channels, width, sign and byte order.
struct RawFormat {
    int sampleRate = 44100;
    int channels = 2;
    int bits = 16;
    bool isSigned = true;
    bool bigEndian = false;
};

// What --replaygain measures: nothing (the input's values are carried), each track, or each track
// and the album it belongs to.
enum class ReplayGainMode { Off, Track, Album };

struct EncodeOptions {
    int32_t formatIndex = cvn::kDefaultFormat;
    // The VBR setting the streams use: 0 for constant bitrate, else the VBR quality + 1.
    uint32_t vbr = 0;
    // No format option was given: a mono input takes the mono format of the same bitrate.
    bool monoInputStaysMono = false;
    HKEY settingsKey = nullptr;
    TrackTags givenTags; // from the command line; they beat the input's own
    bool id3v2 = true;
    Id3v2Version id3v2Version = Id3v2Version::V3;
    bool keepPartial = false; // a file cut short is kept as STEM.partial.EXT
    bool makeFolders = false; // the output's folders are made when missing (under --out-dir)
    ReplayGainMode replayGain = ReplayGainMode::Off;
    // Covers at most this many pixels on their long side, as baseline JPEG (--cover-size); 0: as given.
    int coverSize = 0;
    // The run's settings, as the source marker of each output keeps them (source_marker.h): those
    // that change the audio frames, those that change only tags, and both as markers of earlier
    // versions digested them.
    std::string settingsDigest;
    std::string taggingDigest;
    std::string legacySettingsDigest;
    std::optional<RawFormat> raw; // --raw: the inputs are samples without a header
    // The file system below --out-dir, watched for a card that is full or taken out; null without.
    OutputDevice* device = nullptr;
};

struct TrackOutcome {
    enum class Status { Encoded, CutShort, Failed, NotStarted };
    Status status = Status::Failed;
    std::string message;           // the cause of a failure
    int64_t framesEncoded = 0;     // at 44100 Hz
    int32_t formatIndex = -1;      // the format it was encoded in
    std::string formatDescription; // describeEncoding's
    uintmax_t bytes = 0;           // of the finished file
    std::string partialPath;       // where a file cut short was kept, if it was
    TrackTags tags;                // as written
    double seconds = 0;            // the track's encode, wall time
};

// A track of a run as planned, and what became of it.
struct PlannedTrack {
    enum class Action {
        Keep,     // its output exists and stays
        Encode,   // through the plug-in
        Retag,    // --update: its tags changed, its audio did not
        Mark,     // --update: only its source's size or time changed: the marker takes them
        Move,     // --update: its output stands elsewhere below --out-dir and is renamed into place
        Copy,     // --lossy copy: an MP3 input put in place as it is
        LeaveOut, // --lossy skip
        Refuse,   // its output folder cannot be written, or its output cannot be moved into place
    };
    Track item;
    Action action = Action::Keep;
    TrackOutcome outcome; // of its encode, retag or copy; a failure's cause in `message`
    // With Retag (or a move then a retag): the run's tag settings changed, so its tags are made as
    // an encode would make them now, ReplayGain measured again (outcome.tags holds the values).
    bool newTagging = false;
    std::string movedFrom;           // with Move: where its output stands now
    Action afterMove = Action::Keep; // with Move: then Keep, Retag or Mark
};

} // namespace cvnhost
