// Outputs whose names are one under folding (name_rules.h) are told apart before anything is
// written, in the order of the run's tracks: the first keeps its name, each later one takes
// " (2)", " (3)", ... before its extension. A folder is spelt as the first track that names it
// spells it, or as it already stands below --out-dir. A file that stands there under another
// spelling is the track's own output when its marker names the track's source (the track then
// keeps that spelling); another track's, which that track's own claim moves or keeps; an output
// of a source that is gone, replaced as one at the very name is; or the user's, a name taken.
#pragma once

#include "planning/name_rules.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace cvnhost {

inline constexpr size_t kMadeForNoTrack = static_cast<size_t>(-1);

// What stands below --out-dir already, as the run finds it.
struct ExistingNames {
    // The names in a folder (relative to --out-dir; "" for itself); none for a folder not there.
    std::function<std::vector<std::string>(const std::string& folder)> namesIn;
    // The track of the run whose output the file (relative to --out-dir) is, by its marker;
    // kMadeForNoTrack for an output of a source the run does not have; none for a file of the user's.
    std::function<std::optional<size_t>(const std::string& file)> ownerOf;
};

class NameClaims {
  public:
    NameClaims(NameRules rules, ExistingNames existing) : rules_(rules), existing_(std::move(existing)) {}

    // The name of the track's output (relative to --out-dir, already following the rules) told
    // apart from those claimed before it.
    std::string claim(const std::string& relativePath, size_t track);

  private:
    std::string spellFolder(const std::string& folder);
    std::string spellFile(const std::string& folder, const std::string& name, size_t track);
    // How `name` stands in the folder (spelt as given, else under another spelling); nothing when
    // no name there is one with it.
    std::optional<std::string> standingAs(const std::string& folder, const std::string& name);
    // The names in a folder beside their folded keys, read once.
    const std::vector<std::pair<std::string, std::string>>& existingIn(const std::string& folder);

    NameRules rules_;
    ExistingNames existing_;
    std::map<std::string, std::string> folders_; // folded folder: its spelling
    std::set<std::string> files_;                // folded files claimed
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> listed_;
};

} // namespace cvnhost
