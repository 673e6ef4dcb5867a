// The format catalogue as the host reads it: one record per format.
#pragma once

#include "VelmoraPlugIn.hpp"

namespace velmora {

// Fills the record for a valid index: the description from the module's template (string 3) in
// the resource language with the mode word in English, "MP3", and the byte rate.
void fillFormatInfo(HINSTANCE module, int32_t formatIndex, CVN_FormatInfo& info);

} // namespace velmora
