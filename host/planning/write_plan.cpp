#include "planning/write_plan.h"

#include "files/output_target.h"
#include "files/standard_streams.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>
#include <set>

namespace cvnhost {

namespace {

namespace fs = std::filesystem;

// The path with its links resolved as far as it exists; a path that cannot be resolved (a pipe's
// /proc entry, say) as it stands, made absolute.
fs::path canonicalOrAbsolute(const std::string& path) {
    std::error_code error;
    fs::path canonical = fs::weakly_canonical(path, error);
    return error ? fs::absolute(path, error).lexically_normal() : canonical;
}

// The paths of a run and what each is, by canonical path and, for files that exist, by device
// and inode: a hard link of an input is that input under another name.
class PlannedPaths {
  public:
    // What `path` already is in the plan, or empty.
    std::string roleOf(const std::string& path) const {
        if (const auto found = byPath_.find(canonicalOrAbsolute(path)); found != byPath_.end()) {
            return found->second;
        }
        struct stat status {};
        if (stat(path.c_str(), &status) == 0) {
            if (const auto found = byFile_.find({status.st_dev, status.st_ino}); found != byFile_.end()) {
                return found->second;
            }
        }
        return {};
    }
    void add(const std::string& path, const std::string& role) {
        byPath_.emplace(canonicalOrAbsolute(path), role);
        struct stat status {};
        if (stat(path.c_str(), &status) == 0) {
            byFile_.emplace(std::make_pair(status.st_dev, status.st_ino), role);
        }
    }

  private:
    std::map<fs::path, std::string> byPath_;
    std::map<std::pair<dev_t, ino_t>, std::string> byFile_;
};

bool isBelow(const std::string& path, const std::string& folder) {
    const fs::path inner = fs::absolute(path).lexically_normal();
    const fs::path outer = fs::absolute(folder).lexically_normal();
    const fs::path relative = inner.lexically_relative(outer);
    return !relative.empty() && *relative.begin() != ".." && relative != ".";
}

// Standard input and output are each one stream: a second use would take another's bytes.
bool standardStreamsOnce(const std::vector<Track>& tracks, const WriteRules& rules, std::string& error) {
    size_t reads = isStandardStream(rules.manifest) ? 1 : 0;
    size_t writes = isStandardStream(rules.report) ? 1 : 0;
    for (const Track& track : tracks) {
        reads += isStandardStream(track.input) ? 1 : 0;
        writes += isStandardStream(track.output) ? 1 : 0;
    }
    if (reads > 1) {
        error = "standard input (-) can be read once per run; this run reads it " + std::to_string(reads) +
                " times";
    } else if (writes > 1) {
        error = "standard output (-) can take one file per run; this run gives it " + std::to_string(writes);
    }
    return reads <= 1 && writes <= 1;
}

// One path to be written: a regular file or a new one, and no other path of the run.
bool planPath(const std::string& path, const std::string& role, PlannedPaths& planned, std::string& error) {
    if (isStandardStream(path)) {
        return true;
    }
    const std::optional<OutputTarget> target = outputTargetOf(path, error);
    if (!target) {
        error = path + ": " + error;
        return false;
    }
    if (const std::string other = planned.roleOf(target->path); !other.empty()) {
        const std::string outputOf = "the output of ";
        const bool twoOutputs = other.starts_with(outputOf) && role.starts_with(outputOf);
        error = path + ": " +
                (other == "an input" ? (role.starts_with(outputOf) ? "the output " : "") +
                                           std::string("would overwrite an input")
                 : other == "the manifest" ? "would overwrite the manifest"
                 : twoOutputs              ? "both " + other.substr(outputOf.size()) + " and " +
                                    role.substr(outputOf.size()) + " would be written there"
                              : "is " + other + " and " + role + " at once");
        return false;
    }
    planned.add(target->path, role);
    return true;
}

// The first partial name beside the track's target that no file has and no path of the run takes.
std::string freePartialName(const std::string& output, PlannedPaths& planned) {
    std::string ignored;
    const std::optional<OutputTarget> target = outputTargetOf(output, ignored);
    const std::string base = target ? target->path : output;
    for (unsigned number = 0;; ++number) {
        const std::string candidate = partialPathOf(base, number);
        struct stat status {};
        if (lstat(candidate.c_str(), &status) != 0 && planned.roleOf(candidate).empty()) {
            planned.add(candidate, "the partial file of " + output);
            return candidate;
        }
    }
}

} // namespace

bool planWrites(std::vector<Track>& tracks, const std::vector<size_t>& written, const WriteRules& rules,
                std::string& error) {
    if (!standardStreamsOnce(tracks, rules, error)) {
        return false;
    }
    PlannedPaths planned;
    for (const Track& track : tracks) {
        if (!isStandardStream(track.input)) {
            planned.add(track.input, "an input");
        }
    }
    if (!rules.manifest.empty() && !isStandardStream(rules.manifest)) {
        planned.add(rules.manifest, "the manifest");
    }
    for (const Track& track : tracks) {
        if (!rules.outDirectory.empty() && !isStandardStream(track.output) &&
            !isBelow(track.output, rules.outDirectory)) {
            error = track.output + ": is outside --out-dir " + rules.outDirectory;
            return false;
        }
        if (!planPath(track.output, "the output of " + track.input, planned, error)) {
            return false;
        }
    }
    if (!rules.report.empty() && !planPath(rules.report, "the report", planned, error)) {
        error = "--report " + error;
        return false;
    }
    for (const size_t index : written) {
        if (rules.keepPartial && !isStandardStream(tracks[index].output)) {
            tracks[index].partial = freePartialName(tracks[index].output, planned);
        }
    }
    return true;
}

} // namespace cvnhost
