// wsprintfA and LoadStringA behave as the plug-in relies on, with the platform layer on Linux as
// with the real functions on Windows.
#include "support/plugin_under_test.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

namespace cvn::test {
namespace {

TEST(WsprintfA, FormatsDecimalsAndTexts) {
    char buffer[1024];
    EXPECT_EQ(wsprintfA(buffer, "%d kBit/sec, %s", 128, "Stereo"), 20);
    EXPECT_STREQ(buffer, "128 kBit/sec, Stereo");
    wsprintfA(buffer, "DLL Date : %d.%d.%d", 5, 1, 2000);
    EXPECT_STREQ(buffer, "DLL Date : 5.1.2000");
    wsprintfA(buffer, "%d|%d|%u|%s|", -7, 0, 4000000000u, "");
    EXPECT_STREQ(buffer, "-7|0|4000000000||");
    wsprintfA(buffer, "100%%");
    EXPECT_STREQ(buffer, "100%");
}

TEST(WsprintfA, StopsAt1024CharactersWithTheTerminator) {
    const std::string longText(2000, 'x');
    char buffer[1100];
    wsprintfA(buffer, "%s", longText.c_str());
    EXPECT_EQ(std::string(buffer), longText.substr(0, 1023));
}

class LoadStringTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(plugIn.load()); }
    void TearDown() override { plugIn.unload(); }
    PlugIn plugIn;
};

TEST_F(LoadStringTest, CutsToTheBufferAndTerminates) {
    char buffer[8];
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(LoadStringA(plugIn.module, 2, buffer, 5), 4);
    EXPECT_EQ(std::string(buffer), "MP3 ");
    EXPECT_EQ(buffer[5], 'z') << "nothing written past the buffer";
}

TEST_F(LoadStringTest, MissingStringGivesZeroAndAnEmptyBuffer) {
    char buffer[16] = "unchanged";
    EXPECT_EQ(LoadStringA(plugIn.module, 999, buffer, sizeof buffer), 0);
    EXPECT_EQ(buffer[0], '\0');
}

} // namespace
} // namespace cvn::test
