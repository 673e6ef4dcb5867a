// Every be* call that can fail, failed at every point where the plug-in makes it: what the host is
// told, what the plug-in still does afterwards, and that every library stream and file handle is
// released. The sanitizer build checks that no buffer leaks.
#include "support/message_boxes.h"
#include "support/stream_fixture.h"

#ifndef _WIN32
#include <dirent.h>
#endif

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

struct Fault {
    const char* function;                // the be* call that fails
    const char* point;                   // where the plug-in makes it
    bool vbr;                            // VBR on, so that the finish asks for the header
    int writeResult;                     // CVN_WriteBuffer's result (-1: the stream never started)
    int closeResult;                     // CVN_CloseStream's result
    std::vector<std::string> callsAfter; // the be* calls that still follow the failure, in order
};

using InjectedFaultTest = StreamTest;

TEST_F(InjectedFaultTest, EveryLibraryFailureAtEveryPoint) {
    const std::vector<Fault> faults = {
        {"beInitStream", "setup", false, -1, -1, {}},
        {"beEncodeChunk", "intake", false, 4, 0, {"beEncodeChunk", "beDeinitStream", "beCloseStream"}},
        {"beEncodeChunk", "finish", true, 0, 4, {"beCloseStream", "beWriteVBRHeader"}},
        {"beDeinitStream", "finish", true, 0, 4, {"beCloseStream", "beWriteVBRHeader"}},
        {"beCloseStream", "finish", true, 0, 4, {"beWriteVBRHeader"}},
        {"beWriteVBRHeader", "finish", true, 0, 0, {}},
    };
    const uint32_t frames[3] = {frame(1, 2), frame(3, 4), frame(5, 6)};
    for (const Fault& fault : faults) {
        SCOPED_TRACE(std::string(fault.function) + " at " + fault.point);
        MessageBoxes boxes;
        settings.set("VBR", fault.vbr ? 3 : 0);
        fake.setStreamSizes(4, 64);
        std::remove(outputPath().c_str());
        const int descriptorsBefore = openDescriptors();
        if (std::string(fault.point) == "setup") {
            fake.queueResult(fault.function, 2);
            const TrackInfo track = trackInfo("t", "", "", "", 0);
            StreamHandle handle = nullptr;
            EXPECT_EQ(plugIn.initStream(outputPath().c_str(), 0, 16, settings.handle(), &track, &handle), 1);
            EXPECT_FALSE(fileExists(outputPath())) << "nothing left on disk";
        } else {
            StreamHandle handle = start(16);
            const size_t before = fake.log().size();
            if (std::string(fault.point) == "intake") {
                fake.queueResult(fault.function, 2);
            }
            EXPECT_EQ(plugIn.writeBuffer(&handle, 3, frames), fault.writeResult);
            if (std::string(fault.point) == "finish") {
                fake.queueResult(fault.function, 2);
            }
            EXPECT_EQ(plugIn.closeStream(&handle), fault.closeResult);
            // The calls from the failing one on: the failure itself, then what still followed.
            const std::vector<std::string> log = fake.log();
            std::vector<std::string> after;
            bool failed = false;
            for (size_t i = before; i < log.size(); ++i) {
                const std::string name = log[i].substr(0, log[i].find(' '));
                if (failed) {
                    after.push_back(name);
                }
                failed = failed || (name == fault.function && log[i].find("-> 2") != std::string::npos);
            }
            EXPECT_TRUE(failed) << "the fault was injected where the case says";
            EXPECT_EQ(after, fault.callsAfter);
            EXPECT_TRUE(fileExists(outputPath())) << "the file stays";
        }
        EXPECT_EQ(fake.openStreams(), 0) << "every library stream closed";
        if (descriptorsBefore >= 0) {
            EXPECT_EQ(openDescriptors(), descriptorsBefore) << "the output file closed";
        }
    }
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
    const TrackInfo track = trackInfo("t", "", "", "", 0);
    for (const std::string& path : paths) {
        StreamHandle handle = nullptr;
        EXPECT_EQ(plugIn.initStream(path.c_str(), 0, 16, settings.handle(), &track, &handle), 1) << path;
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(fake.openStreams(), 0) << path;
    }
}

} // namespace
} // namespace cvn::test
