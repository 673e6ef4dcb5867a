// Streams on many threads at once through the one bound plug-in and the real encoder library:
// every file is byte for byte what the same track gives when encoded alone, and every VBR file
// carries its own header. The sanitizer builds run this under ThreadSanitizer.
#include "support/audio_tools.h"
#include "support/mp3_frames.h"
#include "support/plugin_under_test.h"
#include "support/settings_key.h"
#include "support/stream_fixture.h"
#include "support/temporary_directory.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace cvn::test {
namespace {

constexpr int kThreads = 16;
constexpr int kTracksPerThread = 20;
constexpr size_t kTrackFrames = 11025; // a quarter of a second

class ConcurrencyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetDllDirectoryA(nullptr);
        ASSERT_NO_FATAL_FAILURE(plugIn.load(joinPath(CVN_ENCODER_LIBRARY_DIRECTORY, "VelmoraPlugIn.so")));
        ASSERT_EQ(plugIn.initPlugInDLL(), 1);
        vbrSettings.set("VBR", 3);
    }
    void TearDown() override {
        plugIn.closePlugInDLL();
        plugIn.unload();
    }

    // Odd tracks are VBR (the key with VBR set), even ones 128 kbit/s CBR (no key: all settings 0).
    bool encode(int track, const std::string& path) const {
        const std::vector<uint32_t> frames = tone(200.0 + 7.0 * track, kTrackFrames, 3000 + 20 * track);
        const CVN_TrackInfo info = trackInfo("Track " + std::to_string(track), "", "", "", 0);
        CVN_StreamHandle handle = nullptr;
        if (plugIn.initStream(path.c_str(), 0, 16, track % 2 == 1 ? vbrSettings.handle() : nullptr, &info,
                              &handle) != 0) {
            return false;
        }
        bool written = true;
        for (size_t at = 0; at < frames.size(); at += 1000) {
            const auto count = static_cast<int32_t>(std::min<size_t>(1000, frames.size() - at));
            written = plugIn.writeBuffer(&handle, count, frames.data() + at) == 0 && written;
        }
        return plugIn.closeStream(&handle) == 0 && written;
    }

    PlugIn plugIn;
    SettingsKey vbrSettings;
    TemporaryDirectory directory;
};

TEST_F(ConcurrencyTest, SixteenThreadsOfTwentyTracksMatchTheTracksEncodedAlone) {
    const int tracks = kThreads * kTracksPerThread;
    for (int track = 0; track < tracks; ++track) {
        ASSERT_TRUE(encode(track, directory.file("alone" + std::to_string(track) + ".mp3"))) << track;
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kTracksPerThread; ++i) {
                const int track = t * kTracksPerThread + i;
                if (!encode(track, directory.file("together" + std::to_string(track) + ".mp3"))) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);

    std::vector<std::string> vbrFiles;
    size_t bytesCompared = 0;
    for (int track = 0; track < tracks; ++track) {
        const std::vector<uint8_t> alone =
            readFileBytes(directory.file("alone" + std::to_string(track) + ".mp3"));
        const std::string together = directory.file("together" + std::to_string(track) + ".mp3");
        const std::vector<uint8_t> bytes = readFileBytes(together);
        ASSERT_FALSE(alone.empty());
        EXPECT_EQ(bytes, alone) << "track " << track;
        bytesCompared += bytes.size();
        if (track % 2 == 1) {
            const std::vector<Mp3Frame> frames = readMp3Frames(bytes);
            ASSERT_GT(frames.size(), 1u);
            const std::optional<VbrHeader> header = readVbrHeader(bytes, frames[0]);
            ASSERT_TRUE(header && header->frames) << "track " << track;
            EXPECT_EQ(*header->frames, frames.size() - 1) << "track " << track;
            vbrFiles.push_back(together);
        }
    }
    // The figure that docs/reliability.md quotes.
    std::printf("%d streams on %d threads, %zu bytes compared\n", tracks, kThreads, bytesCompared);
    const std::vector<StreamFacts> facts = readWithMutagen(vbrFiles);
    ASSERT_EQ(facts.size(), vbrFiles.size());
    for (size_t i = 0; i < facts.size(); ++i) {
        EXPECT_NEAR(facts[i].seconds, 0.25, 0.05) << vbrFiles[i];
    }
}

} // namespace
} // namespace cvn::test
