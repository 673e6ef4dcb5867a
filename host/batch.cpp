#include "batch.h"

#include <algorithm>
#include <thread>

namespace cvnhost {

std::vector<TrackOutcome> encodeBatch(const PlugInHost& host, const std::vector<BatchItem>& items,
                                      const EncodeOptions& options, unsigned jobs, Progress& progress,
                                      const std::atomic<bool>& stop) {
    std::vector<TrackOutcome> outcomes(items.size());
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t index; (index = next.fetch_add(1)) < items.size();) {
            if (stop.load()) {
                outcomes[index].status = TrackOutcome::Status::Failed;
                outcomes[index].message = "not started: stopped by the user";
                continue;
            }
            outcomes[index] = encodeFile(host, items[index].input, items[index].output, options, stop,
                                         [&](int64_t frames) { progress.advance(frames); });
            progress.finished(items[index].input, items[index].output, outcomes[index]);
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
