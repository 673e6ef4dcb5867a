#include "test_paths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <climits>

namespace cvn::test {

std::string programDirectory() {
#ifdef _WIN32
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string program(path, length);
    return program.substr(0, program.find_last_of("\\/"));
#else
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    std::string program(path, length > 0 ? static_cast<size_t>(length) : 0);
    return program.substr(0, program.find_last_of('/'));
#endif
}

std::string joinPath(const std::string& directory, const std::string& name) {
#ifdef _WIN32
    return directory + "\\" + name;
#else
    return directory + "/" + name;
#endif
}

std::string pluginPath() {
#ifdef _WIN32
    return joinPath(programDirectory(), "VelmoraPlugIn.dll");
#else
    return joinPath(programDirectory(), "VelmoraPlugIn.so");
#endif
}

std::string fakeLibraryDirectory(const std::string& variant) {
    return joinPath(joinPath(programDirectory(), "fakes"), variant);
}

std::string encoderLibraryFileName() {
#ifdef _WIN32
    return "LAME_ENC.DLL";
#else
    return "liblame_enc.so";
#endif
}

} // namespace cvn::test
