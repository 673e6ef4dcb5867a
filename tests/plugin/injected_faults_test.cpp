// Every be* call that can fail, failed at every point where the plug-in makes it: what the host is
// told, what the plug-in still does afterwards, and that every library stream and file handle is
// released. The sanitizer build checks that no buffer leaks.
#include "support/message_boxes.h"
#include "support/stream_fixture.h"

#ifndef _WIN32
#include <dirent.h>
#endif

#include <map>
#include <set>

namespace cvn::test {
namespace {

// The descriptors this process holds, where they can be counted; -1 elsewhere.
int openDescriptors() {
#ifdef _WIN32
    return -1;
#else
    int count = 0;
    if (DIR* directory = opendir("/proc/self/fd")) {
        while (readdir(directory) != nullptr) {
            ++count;
        }
        closedir(directory);
    }
    return count;
#endif
}

// What a failure of one be* call at one point of a stream's life gives the host, and which be*
// calls still follow it.
struct Expected {
    int initResult;                      // CVN_InitStream's result
    int writeResult;                     // CVN_WriteBuffer's result (-1: no stream to write to)
    int closeResult;                     // CVN_CloseStream's result (-1: no stream to close)
    std::vector<std::string> callsAfter; // the be* calls after the failing one, in order
};

using InjectedFaultTest = StreamTest;

// A stream's life (setup, a write that completes a chunk, the finish with VBR on) is run once for
// every be* call it makes, failing that call, as SQLite counts down to its faults: every call
// point is reached, also one added later, which then needs its line in the table.
TEST_F(InjectedFaultTest, EveryLibraryCallFailsInTurn) {
    const std::map<std::string, Expected> expected = {
        {"beInitStream at setup", {1, -1, -1, {}}},
        {"beEncodeChunk at intake",
         {0, 4, 0, {"beEncodeChunk", "beDeinitStream", "beCloseStream", "beWriteVBRHeader"}}},
        {"beEncodeChunk at finish", {0, 0, 4, {"beCloseStream", "beWriteVBRHeader"}}},
        {"beDeinitStream at finish", {0, 0, 4, {"beCloseStream", "beWriteVBRHeader"}}},
        {"beCloseStream at finish", {0, 0, 4, {"beWriteVBRHeader"}}},
        {"beWriteVBRHeader at finish", {0, 0, 0, {}}},
    };
    const uint32_t frames[3] = {frame(1, 2), frame(3, 4), frame(5, 6)};
    settings.set("VBR", 3);
    fake.setStreamSizes(4, 64);
    std::set<std::string> reached;
    for (uint32_t n = 1;; ++n) {
        MessageBoxes boxes;
        std::remove(outputPath().c_str());
        const int descriptorsBefore = openDescriptors();
        const size_t first = fake.log().size();
        fake.failCall(n, 2);
        const CVN_TrackInfo track = trackInfo("t", "", "", "", 0);
        CVN_StreamHandle handle = nullptr;
        const int initResult =
            plugIn.initStream(outputPath().c_str(), 0, 16, settings.handle(), &track, &handle);
        const size_t afterSetup = fake.log().size();
        const int writeResult = initResult == 0 ? plugIn.writeBuffer(&handle, 3, frames) : -1;
        const size_t afterWrite = fake.log().size();
        const int closeResult = initResult == 0 ? plugIn.closeStream(&handle) : -1;
        const std::vector<std::string> log = fake.log();
        fake.failCall(0, 0);
        if (log.size() - first < n) {
            // The life made fewer calls than n: none failed, and every point has been reached.
            EXPECT_EQ(std::vector<int>({initResult, writeResult, closeResult}), std::vector<int>({0, 0, 0}));
            break;
        }
        const size_t failing = first + n - 1;
        const std::string function = log[failing].substr(0, log[failing].find(' '));
        const char* point = failing < afterSetup ? "setup" : failing < afterWrite ? "intake" : "finish";
        const std::string where = function + " at " + point;
        SCOPED_TRACE("call " + std::to_string(n) + ": " + where);
        reached.insert(where);
        const auto expectation = expected.find(where);
        ASSERT_NE(expectation, expected.end()) << "a call point without its line in the table";
        EXPECT_EQ(initResult, expectation->second.initResult);
        EXPECT_EQ(writeResult, expectation->second.writeResult);
        EXPECT_EQ(closeResult, expectation->second.closeResult);
        std::vector<std::string> after;
        for (size_t i = failing + 1; i < log.size(); ++i) {
            after.push_back(log[i].substr(0, log[i].find(' ')));
        }
        EXPECT_EQ(after, expectation->second.callsAfter);
        EXPECT_EQ(fileExists(outputPath()), initResult == 0) << "the file stays once created, never before";
        EXPECT_EQ(fake.openStreams(), 0) << "every library stream closed";
        if (descriptorsBefore >= 0) {
            EXPECT_EQ(openDescriptors(), descriptorsBefore) << "the output file closed";
        }
    }
    EXPECT_EQ(reached.size(), expected.size()) << "every line of the table was reached";
}

// Output paths that cannot be created: nothing is started, and the library stream that setup
// opened before it tried the file is closed again.
TEST_F(InjectedFaultTest, OutputsThatCannotBeCreated) {
    const std::vector<std::string> paths = {
        directory.file("missing/out.mp3"), // a missing directory
        directory.path(),                  // a directory itself
#ifndef _WIN32
        "/proc/velmora-test.mp3", // a file system where nothing can be created, even by root
#endif
    };
    const CVN_TrackInfo track = trackInfo("t", "", "", "", 0);
    for (const std::string& path : paths) {
        CVN_StreamHandle handle = nullptr;
        EXPECT_EQ(plugIn.initStream(path.c_str(), 0, 16, settings.handle(), &track, &handle), 1) << path;
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(fake.openStreams(), 0) << path;
    }
}

} // namespace
} // namespace cvn::test
