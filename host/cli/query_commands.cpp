#include "cli/query_commands.h"

#include "audio/demo_signal.h"
#include "audio/input_formats.h"
#include "cli/command_line.h"
#include "cli/run_settings.h"
#include "encoding/dialog_commands.h"
#include "files/interrupt.h"

#include <cstdio>

namespace cvnhost {

int runDemo(const CommonOptions& common, const std::string& output) {
    std::unique_ptr<PlugInHost> host = openPlugIn();
    if (!host) {
        return kExitFailure;
    }
    HKEY key = openSettingsKeyOfThisRun(common);
    if (key == nullptr) {
        return kExitFailure;
    }
    const EncodeOptions options = encodeOptionsOf(common, key);
    const std::optional<TrackTags> given = givenTags(common);
    if (!given) {
        return kExitFailure;
    }
    DemoSignal signal;
    const std::atomic<bool>& stop = stopOnInterrupt();
    const TrackOutcome outcome = encodeWholeTrack(*host, signal, mergeTags(*given, DemoSignal::tags()),
                                                  output, options, stop, nullptr);
    RegCloseKey(key);
    if (outcome.status == TrackOutcome::Status::Failed) {
        fail(outcome.message);
        return kExitFailure;
    }
    std::printf("%s: %.2f s of the built-in signal as %s, %ju bytes\n", output.c_str(),
                static_cast<double>(outcome.framesEncoded) / CVN_PLUGIN_SAMPLE_RATE,
                outcome.formatDescription.c_str(), outcome.bytes);
    std::printf("tag: %s\n", tagSummary(outcome.tags).c_str());
    return outcome.status == TrackOutcome::Status::CutShort ? kExitInterrupted : 0;
}

int runFormats(bool inputs) {
    if (inputs) {
        for (const std::string& line : inputFormatLines()) {
            std::printf("%s\n", line.c_str());
        }
        return 0;
    }
    std::unique_ptr<PlugInHost> host = openPlugIn();
    if (!host) {
        return kExitFailure;
    }
    for (int32_t index = 0; index < CVN_FORMAT_COUNT; ++index) {
        const std::optional<CVN_FormatInfo> format = host->format(index);
        std::printf("%2d  %s\n", index, format ? format->description : "(the plug-in refuses it)");
    }
    return 0;
}

int runInfo() {
    std::unique_ptr<PlugInHost> host = openPlugIn();
    if (!host) {
        return kExitFailure;
    }
    const CVN_PlugInInfo info = host->info();
    std::printf("Name: %s\nFile type: %s\nFormats: %d\nSupport value: 0x%X\nPlug-in: %s\n", info.name,
                info.fileTypeText, info.formatCount, static_cast<unsigned>(host->supportInfo()),
                host->path().c_str());
    return 0;
}

int runAbout() {
    std::unique_ptr<PlugInHost> host = openPlugIn();
    if (!host) {
        return kExitFailure;
    }
    const std::vector<std::string> lines = aboutLines(*host);
    if (lines.empty()) {
        fail("the plug-in could not show its about box");
        return kExitFailure;
    }
    for (const std::string& line : lines) {
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

} // namespace cvnhost
