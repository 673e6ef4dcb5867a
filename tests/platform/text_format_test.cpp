// wsprintfA's limits on Linux: widths and precisions far beyond its 1024 characters neither
// overflow nor allocate beyond the limit, and what fits is formatted.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

namespace {

TEST(WsprintfLimits, HugeWidthsAndPrecisionsAreCutAtTheLimit) {
    char buffer[1024];
    const struct {
        const char* format;
        size_t length;
    } cases[] = {
        {"%3000000000d", 1023},
        {"%1500000000d", 1023},
        {"%-99999999999999999999s|", 1023},
        {"%.4000000000s", 3},
    };
    for (const auto& c : cases) {
        const int written = wsprintfA(buffer, c.format, "abc");
        EXPECT_EQ(static_cast<size_t>(written), c.length) << c.format;
        EXPECT_EQ(std::strlen(buffer), c.length) << c.format;
    }
}

} // namespace
