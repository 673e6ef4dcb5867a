#include "cli/run_settings.h"

#include "cli/command_line.h"

#include <cvnplatform.h>

namespace cvnhost {

int32_t chosenFormat(const CommonOptions& options) {
    if (options.format || (options.bitrate == 0 && !options.mono && !options.vbrQuality)) {
        return options.format.value_or(cvn::kDefaultFormat);
    }
    // A VBR run without -b has the encoder's own floor, the lowest bitrate, as the encoder's
    // command-line program has it.
    const int defaultBitrate =
        options.vbrQuality ? cvn::kBitrateTable[0] : cvn::bitrateOf(cvn::kDefaultFormat);
    // The catalogue's order: each bitrate in stereo, then in mono.
    const int bitrate = options.bitrate == 0 ? defaultBitrate : options.bitrate;
    for (int32_t index = options.mono ? 1 : 0; cvn::isValidFormatIndex(index); index += 2) {
        if (cvn::bitrateOf(index) == bitrate) {
            return index;
        }
    }
    return cvn::kDefaultFormat;
}

share::SettingChoices settingsOfThisRun(const CommonOptions& options) {
    share::SettingChoices own;
    if (options.vbrQuality) {
        own[share::kVbr] = cvn::vbrValueOf(*options.vbrQuality);
    } else if (options.bitrate != 0) {
        own[share::kVbr] = CVN_VBR_OFF; // -b alone asks for a constant bitrate
    }
    own[share::kQuality] = share::valueOfWord(share::kSettings[share::kQuality], options.quality);
    own[share::kStereoMode] = share::valueOfWord(share::kSettings[share::kStereoMode], options.stereoMode);
    return own;
}

HKEY openSettingsKeyOfThisRun(const CommonOptions& options) {
    std::string error;
    cvnRegistryHoldReads(TRUE);
    HKEY key = openStoredSettingsKey(options.settingsKey, options.settingsKey != kDefaultSettingsKey, error);
    const bool checked = key != nullptr && checkStoredSettings(key, options.settingsKey, error);
    HKEY runKey = checked ? makeSettingsKeyOfThisRun(key, settingsOfThisRun(options), error) : nullptr;
    cvnRegistryHoldReads(FALSE);
    if (key != nullptr) {
        RegCloseKey(key);
    }
    if (runKey == nullptr) {
        fail(error);
    }
    return runKey;
}

EncodeOptions encodeOptionsOf(const CommonOptions& options, HKEY key) {
    EncodeOptions encode;
    encode.formatIndex = chosenFormat(options);
    encode.vbr = storedVbrOf(key);
    encode.settingsKey = key;
    encode.id3v2 = !options.noId3v2;
    encode.id3v2Version = options.id3v2Version == 4 ? Id3v2Version::V4 : Id3v2Version::V3;
    return encode;
}

std::unique_ptr<PlugInHost> openPlugIn() {
    std::string error;
    std::unique_ptr<PlugInHost> host = PlugInHost::open(error);
    if (!host) {
        fail(error);
    }
    return host;
}

} // namespace cvnhost
