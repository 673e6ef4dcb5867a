// Which input goes to which output in `cvnhost encode`: INPUT OUTPUT, one INPUT with --output, or
// many with --out-dir, each named after its input. Two inputs that would write one output, or an
// output that would overwrite an input, are usage errors.
#pragma once

#include "batch.h"

#include <optional>
#include <string>
#include <vector>

namespace cvnhost {

// The input and output pairs, or nothing with the usage error in `error`.
std::optional<std::vector<BatchItem>> planOutputs(const std::vector<std::string>& files,
                                                  const std::string& output, const std::string& outDirectory,
                                                  std::string& error);

// Whether two paths name one file, also when either does not exist yet.
bool sameFile(const std::string& a, const std::string& b);

} // namespace cvnhost
