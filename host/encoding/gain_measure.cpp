#include "encoding/gain_measure.h"

#include "audio/audio_input.h"
#include "audio/decoded_peak.h"
#include "audio/loudness.h"

#include "VelmoraPlugIn.hpp"

#include <algorithm>
#include <map>
#include <memory>

namespace cvnhost {

namespace {

struct Measured {
    PlannedTrack* track;
    std::unique_ptr<LoudnessMeter> meter;
    double peak = 0;
};

// The track's audio through a meter of as many channels as its output has.
std::optional<Measured> measure(PlannedTrack* track, const EncodeOptions& options) {
    std::string error;
    std::unique_ptr<AudioInput> audio = AudioInput::open(track->item.input, error, options.raw);
    // Where the output stands now: a move comes later.
    const std::string& output =
        track->action == PlannedTrack::Action::Move ? track->movedFrom : track->item.output;
    const std::optional<double> peak = audio ? decodedPeak(output, error) : std::nullopt;
    if (!peak) {
        return std::nullopt;
    }
    const bool mono =
        !cvn::isStereoFormat(options.formatIndex) || (options.monoInputStaysMono && audio->channels() == 1);
    Measured measured{track, std::make_unique<LoudnessMeter>(mono ? 1 : 2), *peak};
    std::vector<uint32_t> frames;
    while (audio->read(frames, error) && !frames.empty()) {
        measured.meter->add(frames);
    }
    if (!error.empty()) {
        return std::nullopt;
    }
    return measured;
}

// The album's gain over its tracks, into each.
void giveAlbumGain(std::vector<Measured>& members) {
    std::vector<const LoudnessMeter*> meters;
    double peak = 0;
    for (const Measured& member : members) {
        meters.push_back(member.meter.get());
        peak = std::max(peak, member.peak);
    }
    if (const std::optional<ReplayGain> gain = LoudnessMeter::gainOf(meters, peak)) {
        for (Measured& member : members) {
            setReplayGainTags(member.track->outcome.tags, "ALBUM", *gain);
        }
    }
}

} // namespace

void measureGainsForRetag(const std::vector<PlannedTrack*>& tracks, const EncodeOptions& options,
                          const std::atomic<bool>& stop) {
    if (options.replayGain == ReplayGainMode::Off) {
        return;
    }
    const bool albumGain = options.replayGain == ReplayGainMode::Album;
    // Each album is given its gain once its last track is measured, so that only the meters of
    // albums under way are held.
    std::map<std::string, size_t> remaining;
    for (const PlannedTrack* track : tracks) {
        remaining[track->item.album] += albumGain && !track->item.album.empty() ? 1 : 0;
    }
    std::map<std::string, std::vector<Measured>> albums;
    for (PlannedTrack* track : tracks) {
        if (stop.load()) {
            return;
        }
        std::optional<Measured> measured = measure(track, options);
        const std::string& album = track->item.album;
        if (measured) {
            if (const std::optional<ReplayGain> gain =
                    LoudnessMeter::gainOf({measured->meter.get()}, measured->peak)) {
                setReplayGainTags(track->outcome.tags, "TRACK", *gain);
            }
            if (remaining[album] > 0) {
                albums[album].push_back(std::move(*measured));
            }
        }
        if (remaining[album] > 0 && --remaining[album] == 0) {
            giveAlbumGain(albums[album]);
            albums.erase(album);
        }
    }
}

} // namespace cvnhost
