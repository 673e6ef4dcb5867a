#include "encoding/batch.h"

#include "files/output_device.h"

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
std::vector<std::optional<size_t>> albumsOf(const std::vector<Track>& items, size_t& albumCount) {
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

// One batch: its items, the outcomes in their order, and the albums waiting for their last track.
class BatchRun {
  public:
    BatchRun(const PlugInHost& host, const std::vector<Track>& items, const EncodeOptions& options,
             Progress& progress, const std::atomic<bool>& stop)
        : host_(host), items_(items), options_(options), progress_(progress), stop_(stop),
          outcomes_(items.size()), albums_(items.size()) {
        size_t albumCount = 0;
        if (options.replayGain == ReplayGainMode::Album) {
            albums_ = albumsOf(items, albumCount);
        }
        waiting_.resize(albumCount);
        for (const std::optional<size_t>& album : albums_) {
            if (album) {
                ++waiting_[*album].remaining;
            }
        }
    }

    // Takes the next item until none is left; run by every thread of the batch.
    void work() {
        for (size_t index; (index = next_.fetch_add(1)) < items_.size();) {
            const std::optional<size_t> album = albums_[index];
            const std::string refusal = stop_.load() ? "stopped by the user" : refusalOf(options_.device);
            if (!refusal.empty()) {
                outcomes_[index].status = TrackOutcome::Status::NotStarted;
                outcomes_[index].message = "not started: " + refusal;
                if (!stop_.load()) {
                    progress_.finished(items_[index].input, items_[index].output, outcomes_[index]);
                }
                if (album) {
                    arrive(*album, std::nullopt);
                }
                continue;
            }
            const ProgressCallback advance = [this](int64_t frames) { progress_.advance(frames); };
            const auto started = std::chrono::steady_clock::now();
            EncodedTrack track = startTrackFromInput(host_, items_[index], options_, stop_, advance);
            track.outcome.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            if (album) {
                arrive(*album, std::make_pair(index, std::move(track)));
            } else {
                finish(index, track);
            }
        }
    }

    std::vector<TrackOutcome> outcomes() { return std::move(outcomes_); }

  private:
    void finish(size_t index, EncodedTrack& track) {
        finishTrack(track, options_);
        outcomes_[index] = std::move(track.outcome);
        progress_.finished(items_[index].input, items_[index].output, outcomes_[index]);
    }

    // An album whose tracks were all tried: each encoded track gets the album's gain, measured on
    // those that were encoded whole. After a stop none is written: the gain would be of a part.
    void finishAlbum(std::vector<std::pair<size_t, EncodedTrack>>& tracks) {
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
            track.cutShort = track.cutShort || stop_.load();
            if (gain) {
                setReplayGainTags(track.outcome.tags, "ALBUM", *gain);
            }
            finish(index, track);
        }
    }

    // Counts the item as tried in its album, keeping the track if it was encoded.
    void arrive(size_t album, std::optional<std::pair<size_t, EncodedTrack>> track) {
        std::vector<std::pair<size_t, EncodedTrack>> complete;
        {
            std::lock_guard<std::mutex> lock(waitingLock_);
            WaitingAlbum& entry = waiting_[album];
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
    }

    const PlugInHost& host_;
    const std::vector<Track>& items_;
    const EncodeOptions& options_;
    Progress& progress_;
    const std::atomic<bool>& stop_;
    std::vector<TrackOutcome> outcomes_;
    std::vector<std::optional<size_t>> albums_;
    std::vector<WaitingAlbum> waiting_;
    std::mutex waitingLock_;
    std::atomic<size_t> next_{0};
};

} // namespace

std::vector<TrackOutcome> encodeBatch(const PlugInHost& host, const std::vector<Track>& items,
                                      const EncodeOptions& options, unsigned jobs, Progress& progress,
                                      const std::atomic<bool>& stop) {
    BatchRun batch(host, items, options, progress, stop);
    const unsigned threadCount = std::max(1u, std::min<unsigned>(jobs, static_cast<unsigned>(items.size())));
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < threadCount; ++i) {
        threads.emplace_back([&batch] { batch.work(); });
    }
    batch.work();
    for (std::thread& thread : threads) {
        thread.join();
    }
    return batch.outcomes();
}

} // namespace cvnhost
