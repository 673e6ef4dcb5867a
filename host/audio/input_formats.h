// What this build of cvnhost reads, for `cvnhost formats --inputs`: the decoders, each with the
// formats it serves, and the extensions a folder input picks up.
#pragma once

#include <string>
#include <vector>

namespace cvnhost {

std::vector<std::string> inputFormatLines();

} // namespace cvnhost
