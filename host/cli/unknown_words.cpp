#include "cli/unknown_words.h"

#include "cli/nearest_word.h"

#include <algorithm>
#include <vector>

namespace cvnhost {

namespace {

std::vector<std::string> optionNames(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* option : command.get_options()) {
        for (const std::string& name : option->get_lnames()) {
            names.push_back("--" + name);
        }
        for (const std::string& name : option->get_snames()) {
            names.push_back("-" + name);
        }
    }
    return names;
}

std::string suggestion(const std::string& word, const std::vector<std::string>& candidates) {
    // A short option that does not exist most likely means the long one of its letter (-v for
    // --version), not the short one nearest by spelling (-h).
    if (word.size() == 2 && word[0] == '-') {
        const auto longOne = std::find_if(candidates.begin(), candidates.end(), [&](const std::string& name) {
            return name.rfind(std::string("--") + word[1], 0) == 0;
        });
        if (longOne != candidates.end()) {
            return "; did you mean " + *longOne + "?";
        }
    }
    const std::optional<std::string> nearest = nearestWord(word, candidates);
    return nearest ? "; did you mean " + *nearest + "?" : "";
}

} // namespace

std::string unknownFirstWord(const CLI::App& app, const std::string& word) {
    std::vector<std::string> commands;
    for (const CLI::App* command : app.get_subcommands({})) {
        commands.push_back(command->get_name());
    }
    if (word.empty() || std::find(commands.begin(), commands.end(), word) != commands.end()) {
        return {};
    }
    if (word[0] != '-') {
        std::string list;
        for (const std::string& command : commands) {
            list += (list.empty() ? "" : ", ") + command;
        }
        return "unknown command '" + word + "'" + suggestion(word, commands) + " (the commands: " + list +
               ")";
    }
    const std::vector<std::string> own = optionNames(app);
    if (std::find(own.begin(), own.end(), word.substr(0, word.find('='))) != own.end()) {
        return {};
    }
    for (const CLI::App* command : app.get_subcommands({})) {
        const std::vector<std::string> options = optionNames(*command);
        if (std::find(options.begin(), options.end(), word) != options.end()) {
            return word + " is an option of a command: cvnhost " + command->get_name() + " " + word +
                   " ... (cvnhost --help lists the commands)";
        }
    }
    return "unknown option " + word + suggestion(word, own);
}

std::string unexpectedWord(const CLI::App& command) {
    const std::vector<std::string> extras = command.remaining();
    const auto option = std::find_if(extras.begin(), extras.end(), [](const std::string& word) {
        return word.size() > 1 && word[0] == '-';
    });
    if (option != extras.end()) {
        const std::string name = option->substr(0, option->find('='));
        return "unknown option " + name + suggestion(name, optionNames(command)) + " (cvnhost " +
               command.get_name() + " --help lists them)";
    }
    return extras.empty() ? std::string() : "unexpected argument '" + extras.front() + "'";
}

} // namespace cvnhost
