#include "cli/command_line.h"

#include <cstdio>

namespace cvnhost {

namespace {

void say(const std::string& message) {
    std::fprintf(stderr, "cvnhost: %s\n", message.c_str());
}

} // namespace

void fail(const std::string& message) {
    say(message);
}

void warn(const std::string& message) {
    say(message);
}

int showMessageBox(HWND, LPCSTR text, LPCSTR, UINT) {
    std::fprintf(stderr, "cvnhost: the plug-in says: %s\n", text == nullptr ? "" : text);
    return IDOK;
}

std::string wholeNumber(const std::string& text) {
    const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    return digits ? std::string() : text + " is not a number";
}

} // namespace cvnhost
