// Where the test program finds what it tests: everything lies beside the program itself.
#pragma once

#include <string>

namespace cvn::test {

// The directory of the running test program, without a trailing separator.
std::string programDirectory();

// The plug-in copy beside the test program (VelmoraPlugIn.dll or VelmoraPlugIn.so).
std::string pluginPath();

// The directory that holds the fake encoder library of that variant ("complete",
// "without_vbr_header", "none" for a directory with no library at all).
std::string fakeLibraryDirectory(const std::string& variant);

// The file name of the encoder library on this platform: LAME_ENC.DLL or liblame_enc.so.
std::string encoderLibraryFileName();

// Joins a directory and a name with this platform's separator.
std::string joinPath(const std::string& directory, const std::string& name);

} // namespace cvn::test
