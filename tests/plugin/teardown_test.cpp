// Hosts leave the process in every order: with the plug-in loaded (bound or not, a stream open or
// closed from an exit handler), after unloading it, with the platform library's handle closed
// before or after the plug-in's. Each run is a child process that must exit with its own status
// and print everything it wrote.
#include "support/audio_tools.h"
#include "support/child_process.h"
#include "support/plugin_under_test.h"
#include "support/stream_fixture.h"
#include "support/temporary_directory.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace cvn::test {
namespace {

TEST(Teardown, HostsExitInEveryOrderWithTheirOwnStatusAndOutput) {
    const std::vector<std::vector<std::string>> orders = {
        {"dlopen", "return"},
        {"dlopen", "bind", "return"},
        {"dlopen", "bind", "exit"},
        {"dlopen", "bind", "stream", "exit"},
        {"dlopen", "close-at-exit", "bind", "stream", "return"},
        {"dlopen", "bind", "release", "unload", "return"},
        {"platform", "loadlibrary", "bind", "exit"},
        {"platform", "loadlibrary", "bind", "stream", "close-at-exit", "exit"},
        {"platform", "loadlibrary", "bind", "release", "unload", "unload-platform", "return"},
        {"platform", "dlopen", "bind", "unload-platform", "return"},
        {"platform", "dlopen", "bind", "release", "unload-platform", "unload", "exit"},
        {"dlopen", "platform", "bind", "release", "unload", "unload-platform", "return"},
    };
    TemporaryDirectory directory;
    for (const auto& steps : orders) {
        std::vector<std::string> arguments = {
            std::string(CVN_ENCODER_LIBRARY_DIRECTORY) + "/VelmoraPlugIn.so", directory.file("exit.mp3")};
        arguments.insert(arguments.end(), steps.begin(), steps.end());
        std::ostringstream expected;
        for (const std::string& step : steps) {
            expected << step << " ok\n";
        }
        const ChildResult result = runProgram(CVN_EXITING_HOST, arguments);
        std::string order;
        for (const std::string& step : steps) {
            order += step + " ";
        }
        EXPECT_EQ(result.exitStatus, 7) << order << "(signal " << result.signal << ")";
        EXPECT_EQ(result.output.substr(0, expected.str().size()), expected.str()) << order;
        if (std::find(steps.begin(), steps.end(), "close-at-exit") != steps.end()) {
            EXPECT_NE(result.output.find("close at exit gives 0"), std::string::npos)
                << order << result.output;
        }
    }
}

// A thousand binds and releases in one process, each with a stream in between, then the plug-in
// unloaded and loaded again while the platform library stays: every release unloads the encoder
// library, and nothing of it may stay behind (the sanitizer build checks for leaks at exit).
TEST(Teardown, AThousandBindsWithStreamsInBetween) {
    TemporaryDirectory directory;
    const std::string output = directory.file("cycle.mp3");
    const std::vector<uint32_t> frames = tone(440, 2000, 5000);
    const CVN_TrackInfo track = trackInfo("Cycle", "", "", "", 0);
    for (int load = 0; load < 2; ++load) {
        PlugIn plugIn;
        ASSERT_NO_FATAL_FAILURE(plugIn.load(joinPath(CVN_ENCODER_LIBRARY_DIRECTORY, "VelmoraPlugIn.so")));
        for (int cycle = 0; cycle < 500; ++cycle) {
            ASSERT_EQ(plugIn.initPlugInDLL(), 1) << cycle;
            CVN_StreamHandle handle = nullptr;
            ASSERT_EQ(plugIn.initStream(output.c_str(), 0, cycle % 28, nullptr, &track, &handle), 0) << cycle;
            ASSERT_EQ(plugIn.writeBuffer(&handle, static_cast<int32_t>(frames.size()), frames.data()), 0);
            ASSERT_EQ(plugIn.closeStream(&handle), 0) << cycle;
            ASSERT_NE(plugIn.closePlugInDLL(), 0) << "the last release unloads the library";
            ASSERT_EQ(GetModuleHandleA("LAME_ENC.DLL"), nullptr) << cycle;
        }
        plugIn.unload();
    }
}

} // namespace
} // namespace cvn::test
