// The commands that encode no library: `demo` (ten seconds of a built-in signal), `formats`, `info`
// and `about`.
#pragma once

#include "cli/common_options.h"

#include <string>

namespace cvnhost {

int runDemo(const CommonOptions& common, const std::string& output);
// The plug-in's 28 output formats, or with `inputs` the input formats this build reads.
int runFormats(bool inputs);
int runInfo();
int runAbout();

} // namespace cvnhost
