// The resource language that this run of the suite expects. CTest runs the language tests once
// with LANG=en_US.UTF-8 and once with LANG=de_DE.UTF-8 and tells them which by CVN_TEST_LANGUAGE.
#pragma once

#include <cstdlib>
#include <cstring>

namespace cvn::test {

inline bool expectGerman() {
    const char* language = std::getenv("CVN_TEST_LANGUAGE");
    return language != nullptr && std::strcmp(language, "de") == 0;
}

} // namespace cvn::test
