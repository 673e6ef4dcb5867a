#include "plugin_under_test.h"

#include "test_paths.h"

#include <gtest/gtest.h>

namespace cvn::test {

void PlugIn::load() {
    load(pluginPath());
}

void PlugIn::load(const std::string& path) {
    module = LoadLibraryA(path.c_str());
    ASSERT_NE(module, nullptr) << "cannot load " << path;
    ASSERT_TRUE(resolve(module)) << path << " lacks one of the ten entry points";
}

void PlugIn::unload() {
    if (module == nullptr) {
        return;
    }
    FreeLibrary(module);
    module = nullptr;
}

} // namespace cvn::test
