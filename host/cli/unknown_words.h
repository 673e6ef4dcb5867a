// The words of a command line that cvnhost did not take, named with what was probably meant:
// "unknown command 'encdoe'; did you mean encode?". For CLI11 command trees.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace cvnhost {

// A first word that is no command, or an option that only a command takes, named with what was
// probably meant; empty when the first word is fine.
std::string unknownFirstWord(const CLI::App& app, const std::string& word);

// The first word the command did not take (it allows extras), named with what was probably meant;
// empty when it took them all.
std::string unexpectedWord(const CLI::App& command);

} // namespace cvnhost
