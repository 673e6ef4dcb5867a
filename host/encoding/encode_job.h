// One track through the plug-in: start a stream into a temporary file beside the output, hand it
// the audio block by block, close it, have the header frame completed, add and check the ID3v2
// tag, and only then put the file in the output's place. Any failure leaves the output as it was. A stop
// request (Ctrl-C) ends the reading early; the stream is still closed, and the file cut short is removed, or
// kept under a name that says it is partial.
#pragma once

#include "audio/audio_input.h"
#include "audio/frame_source.h"
#include "tags/id3v2_tag.h"
#include "audio/loudness.h"
#include "files/pending_output.h"
#include "encoding/plugin_host.h"
#include "track_records.h"
#include "tags/track_tags.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace cvnhost {

// Called with the number of frames just handed to the plug-in; from the encoding thread.
using ProgressCallback = std::function<void(int64_t frames)>;

// How a track of this format is encoded, in cvnhost's own words ("128 kbit/s, stereo", with VBR
// on "VBR quality 2, stereo"), not in the plug-in's: its texts follow the locale, and cvnhost's
// lines keep to one language.
std::string describeEncoding(int32_t formatIndex, uint32_t vbr);

// A track encoded into its temporary file, not yet tagged nor in the output's place. A failure so
// far is outcome.message.
struct EncodedTrack {
    TrackOutcome outcome;
    std::unique_ptr<PendingOutput> pending;
    std::unique_ptr<LoudnessMeter> meter; // with ReplayGain measured
    double peak = 0;                      // of the MP3 as decoded, with ReplayGain measured
    std::string audioDigest;              // of the frames handed to the plug-in (content_digest.h)
    bool cutShort = false;
};

// The first part of a track, which leaves it unfinished: the item's input file (the item's tags beating its
// own, and the options' beating both, a source marker among them), or `source` with `tags`, through the
// plug-in into the temporary file, the header frame completed, the track's ReplayGain put into
// outcome.tags.
EncodedTrack startTrackFromInput(const PlugInHost& host, const Track& item, const EncodeOptions& options,
                                 const std::atomic<bool>& stop, const ProgressCallback& progress);
EncodedTrack startTrack(const PlugInHost& host, FrameSource& source, const TrackTags& tags,
                        const OutputPaths& output, const EncodeOptions& options,
                        const std::atomic<bool>& stop, const ProgressCallback& progress);

// The rest: the ID3v2 tag from outcome.tags, then the output's place (or, cut short, removed or
// kept as partial). Sets outcome.status; does nothing after a failure.
void finishTrack(EncodedTrack& track, const EncodeOptions& options);

// Both parts for `source` into `output` with `tags`: the one of the three that finishes a file.
TrackOutcome encodeWholeTrack(const PlugInHost& host, FrameSource& source, const TrackTags& tags,
                              const std::string& output, const EncodeOptions& options,
                              const std::atomic<bool>& stop, const ProgressCallback& progress);

} // namespace cvnhost
