// The word a user most likely meant: for "encdoe" the command "encode", for "--bitrat" the option
// "--bitrate". Plain function, no I/O.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cvnhost {

// The candidate nearest to `word` by edits (insertions, deletions, substitutions, swaps of two
// neighbours), when it is near enough to be a slip: at most one edit for a word of up to four
// characters, two up to eight, three beyond. Ties go to the first candidate.
std::optional<std::string> nearestWord(const std::string& word, const std::vector<std::string>& candidates);

} // namespace cvnhost
