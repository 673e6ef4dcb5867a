#include "settings_key.h"

#include <gtest/gtest.h>

namespace cvn::test {

SettingsKey::SettingsKey() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("Software\\VelmoraTests\\") + test->test_suite_name() + "." + test->name();
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key_, nullptr),
              ERROR_SUCCESS);
    for (const char* setting : kSettingNames) {
        RegDeleteValueA(key_, setting);
    }
}

SettingsKey::~SettingsKey() {
    if (key_ != nullptr) {
        RegCloseKey(key_);
    }
}

void SettingsKey::set(const char* name, uint32_t value) const {
    const uint8_t data[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                             static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    ASSERT_EQ(RegSetValueExA(key_, name, 0, REG_DWORD, data, sizeof data), ERROR_SUCCESS);
}

void SettingsKey::setRaw(const char* name, DWORD type, const std::vector<uint8_t>& data) const {
    ASSERT_EQ(RegSetValueExA(key_, name, 0, type, data.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
}

std::optional<uint32_t> SettingsKey::get(const char* name) const {
    uint8_t data[4] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegQueryValueExA(key_, name, nullptr, &type, data, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << name;
    EXPECT_EQ(size, 4u) << name;
    return static_cast<uint32_t>(data[0] | data[1] << 8 | data[2] << 16 |
                                 static_cast<uint32_t>(data[3]) << 24);
}

} // namespace cvn::test
