// Where cvnhost's own shared objects are: beside the program in the build tree, in lib/velmora of
// the install tree.
#pragma once

#include <filesystem>
#include <vector>

namespace cvnhost {

// The paths `fileName` may have, in the order to try them.
std::vector<std::filesystem::path> privateLibraryCandidates(const char* fileName);

} // namespace cvnhost
