#include "encoding/batch.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace cvnhost {

namespace {

// The album of each item for album gain, numbered from 0 in the order of the items; an item of no
// album has none.
std::vector<std::optional<size_t>> albumsOf(const std::vector<BatchItem>& items, size_t& albumCount) {
    std::map<std::string, size_t> numbers;
    std::vector<std::optional<size_t>> albums(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].album.empty()) {
            albums[i] = numbers.try_emplace(items[i].album, numbers.size()).first->second;
        }
    }
    albumCount = numbers.size();
    return albums;
}

// The tracks of one album wait, encoded but untagged, until the last of them has been measured.
struct WaitingAlbum {
    size_t remaining = 0;
    std::vector<std::pair<size_t, EncodedTrack>> tracks;
};

} // namespace

std::vector<TrackOutcome> encodeBatch(const PlugInHost& host, const std::vector<BatchItem>& items,
                                      const EncodeOptions& options, unsigned jobs, Progress& progress,
                                      const std::atomic<bool>& stop) {
    std::vector<TrackOutcome> outcomes(items.size());
    size_t albumCount = 0;
    const std::vector<std::optional<size_t>> albums = options.replayGain == ReplayGainMode::Album
                                                          ? albumsOf(items, albumCount)
                                                          : std::vector<std::optional<size_t>>(items.size());
    std::vector<WaitingAlbum> waiting(albumCount);
    for (const std::optional<size_t>& album : albums) {
        if (album) {
            ++waiting[*album].remaining;
        }
    }
    std::mutex waitingLock;

    const auto finish = [&](size_t index, EncodedTrack& track) {
        finishTrack(track, options);
        outcomes[index] = std::move(track.outcome);
        progress.finished(items[index].input, items[index].output, outcomes[index]);
    };
    // An album whose tracks were all tried: each encoded track gets the album's gain, measured on
    // those that were encoded whole. After a stop none is written: the gain would be of a part.
    const auto finishAlbum = [&](std::vector<std::pair<size_t, EncodedTrack>>& tracks) {
        std::vector<const LoudnessMeter*> meters;
        double peak = 0; // the largest track peak
        for (const auto& [index, track] : tracks) {
            if (track.outcome.message.empty() && !track.cutShort && track.meter) {
                meters.push_back(track.meter.get());
                peak = std::max(peak, track.peak);
            }
        }
        const std::optional<ReplayGain> gain = LoudnessMeter::gainOf(meters, peak);
        for (auto& [index, track] : tracks) {
            track.cutShort = track.cutShort || stop.load();
            if (gain) {
                setReplayGainTags(track.outcome.tags, "ALBUM", *gain);
            }
            finish(index, track);
        }
    };
    // Counts the item as tried in its album, keeping the track if it was encoded.
    const auto arrive = [&](size_t album, std::optional<std::pair<size_t, EncodedTrack>> track) {
        std::vector<std::pair<size_t, EncodedTrack>> complete;
        {
            std::lock_guard<std::mutex> lock(waitingLock);
            WaitingAlbum& entry = waiting[album];
            if (track) {
                entry.tracks.push_back(std::move(*track));
            }
            if (--entry.remaining == 0) {
                complete = std::move(entry.tracks);
            }
        }
        if (!complete.empty()) {
            finishAlbum(complete);
        }
    };

    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t index; (index = next.fetch_add(1)) < items.size();) {
            const std::optional<size_t> album = albums[index];
            if (stop.load()) {
                outcomes[index].status = TrackOutcome::Status::NotStarted;
                outcomes[index].message = "not started: stopped by the user";
                if (album) {
                    arrive(*album, std::nullopt);
                }
                continue;
            }
            const ProgressCallback advance = [&](int64_t frames) { progress.advance(frames); };
            const auto started = std::chrono::steady_clock::now();
            EncodedTrack track = encodeInputFile(host, items[index], options, stop, advance);
            track.outcome.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            if (album) {
                arrive(*album, std::make_pair(index, std::move(track)));
            } else {
                finish(index, track);
            }
        }
    };
    const unsigned threadCount = std::max(1u, std::min<unsigned>(jobs, static_cast<unsigned>(items.size())));
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < threadCount; ++i) {
        threads.emplace_back(work);
    }
    work();
    for (std::thread& thread : threads) {
        thread.join();
    }
    return outcomes;
}

} // namespace cvnhost
