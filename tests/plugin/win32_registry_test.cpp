// The registry functions as the plug-in and its tests use them: the real registry on Windows,
// the platform layer's on Linux.
#include "support/settings_key.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace cvn::test {
namespace {

TEST(Registry, ValuesRoundTripAndReopen) {
    SettingsKey key;
    key.set("StereoMode", 1);
    key.set("stereomode", 0x12345678); // names ignore case
    EXPECT_EQ(key.get("STEREOMODE"), 0x12345678u);
    EXPECT_EQ(key.get("Copyright"), std::nullopt);

    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string path =
        std::string("Software\\VelmoraTests\\") + test->test_suite_name() + "." + test->name();
    HKEY reopened = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &reopened), ERROR_SUCCESS);
    BYTE data[4] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(reopened, "StereoMode", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data[0], 0x78);
    EXPECT_EQ(RegCloseKey(reopened), ERROR_SUCCESS);
}

TEST(Registry, DataLargerThanTheBufferIsRefused) {
    SettingsKey key;
    key.setRaw("CRC", REG_BINARY, {1, 2, 3, 4, 5, 6});
    BYTE data[4] = {};
    DWORD size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(key.handle(), "CRC", nullptr, nullptr, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
}

TEST(Registry, DeletedValueIsMissing) {
    SettingsKey key;
    key.set("VBR", 3);
    EXPECT_EQ(RegDeleteValueA(key.handle(), "VBR"), ERROR_SUCCESS);
    EXPECT_EQ(key.get("VBR"), std::nullopt);
    EXPECT_EQ(RegDeleteValueA(key.handle(), "VBR"), ERROR_FILE_NOT_FOUND);
}

TEST(Registry, NullKeyFailsEveryCall) {
    BYTE data[4] = {};
    DWORD size = sizeof data;
    EXPECT_NE(RegQueryValueExA(nullptr, "VBR", nullptr, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_NE(RegSetValueExA(nullptr, "VBR", 0, REG_DWORD, data, 4), ERROR_SUCCESS);
    HKEY key = nullptr;
    EXPECT_NE(
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\VelmoraTests\\NoSuchKey\\Really", 0, KEY_READ, &key),
        ERROR_SUCCESS);
}

} // namespace
} // namespace cvn::test
