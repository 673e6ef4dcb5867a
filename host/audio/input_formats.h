// What this build of cvnhost reads, for `cvnhost formats --inputs`: the decoders, each with the
// formats it serves, and the extensions a folder input picks up.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace cvnhost {

std::vector<std::string> inputFormatLines();

// The extensions of the files a folder input stands for: what libsndfile, libmpg123 and FFmpeg
// read in cvnhost (protected .m4p files among them, so that each is named when it is refused).
inline constexpr const char* kInputExtensions[] = {
    ".wav", ".wave", ".aif", ".aiff", ".aifc", ".flac", ".ogg", ".oga", ".opus", ".mp3",
    ".mp2", ".w64",  ".caf", ".au",   ".snd",  ".rf64", ".m4a", ".m4b", ".m4p",  ".mp4",
    ".aac", ".wv",   ".ape", ".wma",  ".asf",  ".mpc",  ".tta", ".mka"};

// Whether a folder's file is taken as audio: by its extension, any case. Hidden files are not.
bool isAudioFileName(const std::filesystem::path& name);

} // namespace cvnhost
