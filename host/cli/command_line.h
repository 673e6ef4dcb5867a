// What every command of cvnhost shares: its exit statuses, how it names a failure, and the checks
// of its option parser.
//
// Exit status: 0 success, 1 a failure (each named on stderr with its file and cause), 2 a usage
// error, 130 stopped by Ctrl-C or SIGTERM.
#pragma once

#include <windows.h>

#include <string>

namespace cvnhost {

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;
inline constexpr const char* kDefaultSettingsKey = "Software\\Corvane\\VelmoraPlugIn";

// "cvnhost: MESSAGE" on standard error, for a failure (the exit status says so too).
void fail(const std::string& message);

// The same for a note that fails nothing: a link left out, a name that misleads players.
void warn(const std::string& message);

// The plug-in's message boxes, said on standard error: cvnhost has no window to show them in.
int showMessageBox(HWND, LPCSTR text, LPCSTR, UINT);

// An option check, run before a range or list, so that a word is called what it is rather than out
// of range.
std::string wholeNumber(const std::string& text);

} // namespace cvnhost
