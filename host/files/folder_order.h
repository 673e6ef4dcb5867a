// Folders whose entries stand in the order of their names. Many car stereos and some players play
// a folder in the order of its directory entries, and FAT and exFAT keep those in the order they
// were made, each new one in the first free place: tracks finished by two jobs at once, an output
// replaced, a track added later all break the order. A folder put in order has its files moved
// out, into a folder of its own below the copy's top (so that their places are free), and back in
// the order of their names; its folders stay where they are. Each move is a rename within the file
// system, so a run killed in between leaves them whole in that folder, and the next run puts them
// back.
#pragma once

#include <string>
#include <vector>

namespace cvnhost {

// The folder below `top` where the entries of `folder` wait while they are ordered.
inline constexpr const char* kOrderingFolder = ".cvnhost-order";

// Puts the files of `folder` (`top` or a folder below it) in the order of their names; hidden
// ones stay where they are. False with the cause in `error`.
bool putInNameOrder(const std::string& top, const std::string& folder, std::string& error);

// The entries a killed run left waiting below `top`, moved back into their folders; the problems,
// each naming its file.
std::vector<std::string> returnWaitingEntries(const std::string& top);

} // namespace cvnhost
