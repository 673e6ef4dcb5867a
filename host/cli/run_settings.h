// The settings of one run, from its options: the format, the settings key every stream of the run
// reads (the stored values with this run's own on top), and how a track is encoded with them.
#pragma once

#include "cli/common_options.h"
#include "encoding/encode_job.h"
#include "encoding/plugin_host.h"
#include "encoding/stored_settings.h"

#include <memory>

namespace cvnhost {

// The format for a stereo input; a mono input keeps to one channel unless a format, --mono or
// --stereo was asked for (monoInputStaysMono).
int32_t chosenFormat(const CommonOptions& options);

// The settings this run's options ask for over the stored ones, as the plug-in stores them: VBR
// from -V, or off for -b alone; Quality from --quality; StereoMode from --stereo-mode.
share::SettingChoices settingsOfThisRun(const CommonOptions& options);

// The settings key for an encode: a volatile key of the run's own, holding the stored values (read
// as one version of the registry file, and checked) with this run's own on top. Every stream of
// the run reads this snapshot, so that a `cvnhost settings` during a batch changes none of its
// tracks. Null after saying why.
HKEY openSettingsKeyOfThisRun(const CommonOptions& options);

// How a track is encoded and tagged with the options and the run's settings key: what every
// command that encodes shares.
EncodeOptions encodeOptionsOf(const CommonOptions& options, HKEY key);

// The plug-in, bound; null after saying why.
std::unique_ptr<PlugInHost> openPlugIn();

} // namespace cvnhost
