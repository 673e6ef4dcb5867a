#include "encoding/encode_job.h"

#include "audio/audio_input.h"
#include "audio/cover_scaling.h"
#include "planning/content_digest.h"
#include "files/file_io.h"
#include "planning/output_tags.h"
#include "files/standard_streams.h"
#include "tags/replay_gain.h"
#include "tags/input_tags.h"
#include "tags/source_marker.h"
#include "audio/decoded_peak.h"
#include "tags/id3v1_year.h"
#include "tags/id3v2_tag.h"
#include "audio/loudness.h"
#include "files/output_device.h"
#include "files/pending_output.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace cvnhost {

namespace {

// Why the plug-in could not create the file, as far as can be told from outside: it says only
// that it failed. It was given the temporary file beside the output, whose path is the one whose
// length it takes or refuses.
std::string whyNotCreated(const std::string& output, const std::string& temporary) {
    std::filesystem::path directory = std::filesystem::path(output).parent_path();
    if (directory.empty()) {
        directory = ".";
    }
    std::error_code error;
    if (std::filesystem::is_directory(output, error)) {
        return "cannot be created: it is a directory";
    }
    if (!std::filesystem::is_directory(directory, error)) {
        return "cannot be created: the directory " + directory.string() + " does not exist";
    }
    if (access(directory.c_str(), W_OK) != 0) {
        return "cannot be created: no permission to write in " + directory.string();
    }
    if (temporary.size() >= CVN_TEXT_FIELD_SIZE) {
        return "cannot be created: its path is longer than the plug-in takes (" +
               std::to_string(CVN_TEXT_FIELD_SIZE - 1) + " bytes)";
    }
    return "cannot be created: the plug-in could not start a stream into it";
}

// Why a write into the output's file system failed when it is full or gone, else `cause`.
std::string deviceCauseOr(const EncodeOptions& options, const std::string& temporaryPath, std::string cause) {
    if (options.device != nullptr) {
        if (const std::string gone = options.device->refusal(); !gone.empty()) {
            return gone;
        }
        options.device->isFullAfter(temporaryPath, cause);
    }
    return cause;
}

// The measured gain replaces whatever ReplayGain the input carried: its album values would no
// longer go with the rest. The peak is the finished MP3's, decoded. outcome.tags is the track's
// copy of its tags, and what is written.
void measureTrack(EncodedTrack& encoded, const std::string& path, const std::string& output) {
    TrackOutcome& outcome = encoded.outcome;
    eraseReplayGain(outcome.tags);
    std::string error;
    const std::optional<double> peak = decodedPeak(path, error);
    if (!peak) {
        outcome.message = output + " " + error;
        return;
    }
    encoded.peak = *peak;
    if (const std::optional<ReplayGain> gain = LoudnessMeter::gainOf({encoded.meter.get()}, *peak)) {
        setReplayGainTags(outcome.tags, "TRACK", *gain);
    }
}

// Hands the source's audio to the stream until it ends, fails or a stop is asked for, measuring and
// digesting it on the way. False when the plug-in did not take a block; a read failure is in
// `readError`.
bool feedStream(const PlugInHost& host, CVN_StreamHandle& stream, FrameSource& source, EncodedTrack& encoded,
                const std::atomic<bool>& stop, const ProgressCallback& progress, std::string& readError) {
    std::vector<uint32_t> frames;
    FrameDigest digest;
    bool written = true;
    while (!stop.load() && source.read(frames, readError) && !frames.empty()) {
        if (host.writeBuffer(stream, static_cast<int32_t>(frames.size()), frames.data()) !=
            CVN_STREAM_SUCCEEDED) {
            written = false;
            break;
        }
        if (encoded.meter) {
            encoded.meter->add(frames);
        }
        digest.add(frames);
        encoded.outcome.framesEncoded += static_cast<int64_t>(frames.size());
        if (progress) {
            progress(static_cast<int64_t>(frames.size()));
        }
    }
    encoded.audioDigest = digest.text();
    return written;
}

// The output's folders and its temporary file, on the card the run started with; false with the
// cause in the outcome.
bool reserveOutput(EncodedTrack& encoded, const OutputPaths& paths, const EncodeOptions& options) {
    const std::string& output = paths.output;
    std::string error;
    const bool folders =
        !options.makeFolders || (options.device != nullptr ? options.device->makeFoldersOf(output, error)
                                                           : makeFoldersOf(output, error));
    if (!folders) {
        encoded.outcome.message = output + ": " + error;
        return false;
    }
    encoded.pending = PendingOutput::create(output, paths.partial, error);
    if (!encoded.pending) {
        encoded.outcome.message = output + " " + error;
        return false;
    }
    if (options.device != nullptr && !options.device->holds(encoded.pending->temporaryPath())) {
        encoded.pending.reset(); // made on the disk below the card's mount point: gone again
        encoded.outcome.message = output + ": " + options.device->refusal();
        return false;
    }
    return true;
}

// The marker among the tags takes the length of the audio just written, which tells the file's
// own marker from one a tagger copied onto another MP3.
void giveMarkerAudioBytes(TrackTags& tags, const std::string& path) {
    const auto found = tags.more.find(kSourceMarkerName);
    std::optional<SourceMarker> marker = found != tags.more.end() && !found->second.empty()
                                             ? parseMarker(found->second.front())
                                             : std::nullopt;
    if (marker) {
        marker->audioBytes = audioBytesOf(path);
        setSourceMarker(tags, *marker);
    }
}

} // namespace

std::string describeEncoding(int32_t formatIndex, uint32_t vbr) {
    const char* channels = cvn::isStereoFormat(formatIndex) ? "stereo" : "mono";
    if (vbr != CVN_VBR_OFF) {
        // The format's bitrate is only the floor of a VBR stream.
        return "VBR quality " + std::to_string(cvn::vbrQualityOf(vbr)) + ", " + channels;
    }
    return std::to_string(cvn::bitrateOf(formatIndex)) + " kbit/s, " + channels;
}

EncodedTrack startTrackFromInput(const PlugInHost& host, const Track& item, const EncodeOptions& options,
                                 const std::atomic<bool>& stop, const ProgressCallback& progress) {
    std::string error;
    std::optional<SourceMarker> marker = currentMarkerOf(item);
    std::unique_ptr<AudioInput> audio = AudioInput::open(item.input, error, options.raw);
    if (!audio) {
        EncodedTrack track;
        track.outcome.message = error;
        return track;
    }
    EncodeOptions trackOptions = options;
    if (options.monoInputStaysMono && audio->channels() == 1) {
        trackOptions.formatIndex = cvn::monoFormatOf(options.formatIndex);
    }
    const TrackTags inputTags = inputTagsOf(item);
    const TrackTags tags = outputTagsOf(item, options.givenTags, mergeTags(inputTags, audio->tags()));
    EncodedTrack track =
        startTrack(host, *audio, tags, {item.output, item.partial}, trackOptions, stop, progress);
    if (marker) {
        marker->audio = flacAudioDigest(item.input).value_or(track.audioDigest);
        marker->tags = tagsDigest(outputTagsOf(item, options.givenTags, inputTags));
        stampRunOf(*marker, item, options);
        setSourceMarker(track.outcome.tags, *marker);
    }
    return track;
}

TrackOutcome encodeWholeTrack(const PlugInHost& host, FrameSource& source, const TrackTags& tags,
                              const std::string& output, const EncodeOptions& options,
                              const std::atomic<bool>& stop, const ProgressCallback& progress) {
    EncodedTrack track = startTrack(host, source, tags, {output, ""}, options, stop, progress);
    finishTrack(track, options);
    return std::move(track.outcome);
}

EncodedTrack startTrack(const PlugInHost& host, FrameSource& source, const TrackTags& tags,
                        const OutputPaths& paths, const EncodeOptions& options, const std::atomic<bool>& stop,
                        const ProgressCallback& progress) {
    const std::string& output = paths.output;
    EncodedTrack encoded;
    TrackOutcome& outcome = encoded.outcome;
    outcome.tags = tags;
    outcome.formatIndex = options.formatIndex;
    outcome.formatDescription = describeEncoding(options.formatIndex, options.vbr);
    if (!reserveOutput(encoded, paths, options)) {
        return encoded;
    }
    const std::string& path = encoded.pending->temporaryPath();
    const CVN_TrackInfo track = trackInfoFor(tags);
    CVN_StreamHandle stream = nullptr;
    if (host.initStream(path, options.formatIndex, options.settingsKey, track, stream) !=
        CVN_STREAM_SUCCEEDED) {
        outcome.message = output + " " + whyNotCreated(output, path);
        return encoded;
    }
    if (options.replayGain != ReplayGainMode::Off) {
        encoded.meter = std::make_unique<LoudnessMeter>(cvn::isStereoFormat(options.formatIndex) ? 2 : 1);
    }
    std::string readError;
    const bool written = feedStream(host, stream, source, encoded, stop, progress, readError);
    encoded.cutShort = stop.load() && readError.empty() && written;
    const bool closed = host.closeStream(stream) == CVN_STREAM_SUCCEEDED;

    if (!readError.empty()) {
        outcome.message = readError;
    } else if (!written) {
        outcome.message =
            output + ": " +
            deviceCauseOr(options, path, "the plug-in could not encode or write a block (result 4)");
    } else if (!closed) {
        outcome.message = output + ": " +
                          deviceCauseOr(options, path, "the plug-in could not complete the file (result 4)");
    } else if (!host.headerFrames().complete(path, options.vbr)) {
        outcome.message = output + ": " +
                          deviceCauseOr(options, path,
                                        "the encoder library could not complete the Info frame that makes "
                                        "the file play without gaps");
    } else if (encoded.meter) {
        measureTrack(encoded, path, output);
    }
    return encoded;
}

void finishTrack(EncodedTrack& encoded, const EncodeOptions& options) {
    TrackOutcome& outcome = encoded.outcome;
    if (!outcome.message.empty() || !encoded.pending) {
        return;
    }
    const std::string& output = encoded.pending->output();
    giveMarkerAudioBytes(outcome.tags, encoded.pending->temporaryPath());
    fitCovers(outcome.tags, options.id3v2 ? options.coverSize : 0); // the pictures go into ID3v2 only
    std::string error;
    const std::optional<std::string> year = options.id3v2 ? id3v1YearOf(outcome.tags) : std::nullopt;
    if (year && !setId3v1Year(encoded.pending->temporaryPath(), *year, error)) {
        outcome.message = output + " " + error;
    } else if (options.id3v2 &&
               !writeId3v2Tag(encoded.pending->temporaryPath(), outcome.tags, options.id3v2Version, error)) {
        outcome.message = output + " " + error;
    } else if (encoded.cutShort) {
        outcome.status = TrackOutcome::Status::CutShort;
        if (options.keepPartial) {
            outcome.partialPath = encoded.pending->keepAsPartial(error);
            if (outcome.partialPath.empty()) {
                outcome.message = output + " " + error;
            }
        }
    } else if (!encoded.pending->commit(error)) {
        outcome.message = output + " " + deviceCauseOr(options, encoded.pending->temporaryPath(), error);
    } else {
        outcome.status = TrackOutcome::Status::Encoded;
        outcome.bytes = encoded.pending->bytes();
    }
    encoded.pending.reset();
}

} // namespace cvnhost
