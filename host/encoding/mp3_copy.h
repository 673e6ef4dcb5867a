// `--lossy copy` and `fit`: an MP3 input put in place as it is (lossy_input.h decides which).
#pragma once

#include "track_records.h"

#include <string>

namespace cvnhost {

// An MP3 input put in the output's place as it is, with the tags the run gives it. False with the cause.
bool copyMp3Input(const Track& item, const EncodeOptions& options, std::string& error);

} // namespace cvnhost
