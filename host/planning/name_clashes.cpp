#include "planning/name_clashes.h"

#include <algorithm>
#include <limits>

namespace cvnhost {

namespace {

std::string joined(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

} // namespace

const std::vector<std::pair<std::string, std::string>>& NameClaims::existingIn(const std::string& folder) {
    const auto [found, added] = listed_.try_emplace(folder);
    if (added) {
        for (std::string& name : existing_.namesIn(folder)) {
            found->second.emplace_back(foldedName(name), std::move(name));
        }
    }
    return found->second;
}

std::optional<std::string> NameClaims::standingAs(const std::string& folder, const std::string& name) {
    const std::vector<std::pair<std::string, std::string>>& names = existingIn(folder);
    if (std::any_of(names.begin(), names.end(), [&](const auto& entry) { return entry.second == name; })) {
        return name;
    }
    const std::string folded = foldedName(name);
    const auto found =
        std::find_if(names.begin(), names.end(), [&](const auto& entry) { return entry.first == folded; });
    return found == names.end() ? std::nullopt : std::optional<std::string>(found->second);
}

// Each folder of the path spelt as it was first claimed, or as it stands, or as given.
std::string NameClaims::spellFolder(const std::string& folder) {
    std::string spelt;
    for (size_t start = 0; start < folder.size();) {
        const size_t slash = std::min(folder.find('/', start), folder.size());
        const std::string name = folder.substr(start, slash - start);
        const std::string key = foldedName(folder.substr(0, slash));
        auto known = folders_.find(key);
        if (known == folders_.end()) {
            known = folders_.emplace(key, joined(spelt, standingAs(spelt, name).value_or(name))).first;
        }
        spelt = known->second;
        start = slash + 1;
    }
    return spelt;
}

std::string NameClaims::spellFile(const std::string& folder, const std::string& name, size_t track) {
    size_t most = rules_.nameMax;
    if (rules_.pathMax > 0) {
        const size_t used = folder.empty() ? 0 : lengthIn(folder, rules_.units) + 1;
        most = std::min(most, rules_.pathMax - std::min(rules_.pathMax, used));
    }
    for (unsigned number = 1; number < std::numeric_limits<unsigned>::max(); ++number) {
        const std::string candidate = number == 1 ? name : numberedName(name, number, most, rules_.units);
        const std::string key = foldedName(joined(folder, candidate));
        if (files_.count(key) == 1) {
            continue;
        }
        const std::optional<std::string> standing = standingAs(folder, candidate);
        const std::optional<size_t> owner =
            standing && *standing != candidate ? existing_.ownerOf(joined(folder, *standing)) : std::nullopt;
        if (!standing || *standing == candidate || owner) {
            files_.insert(key);
            return joined(folder, owner == track ? *standing : candidate);
        }
    }
    return joined(folder, name);
}

std::string NameClaims::claim(const std::string& relativePath, size_t track) {
    const size_t slash = relativePath.rfind('/');
    if (slash == std::string::npos) {
        return spellFile("", relativePath, track);
    }
    return spellFile(spellFolder(relativePath.substr(0, slash)), relativePath.substr(slash + 1), track);
}

} // namespace cvnhost
