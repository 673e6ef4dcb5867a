// A registry key of the test's own under HKEY_CURRENT_USER\Software\VelmoraTests, standing in for
// the key that the host opens and hands to the plug-in. The seven settings start out missing.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cvn::test {

class SettingsKey {
  public:
    // The key is named after the running test, so parallel tests never share one.
    SettingsKey();
    ~SettingsKey();
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;

    HKEY handle() const { return key_; }
    void set(const char* name, uint32_t value) const;
    void setRaw(const char* name, DWORD type, const std::vector<uint8_t>& data) const;
    // The stored REG_DWORD, or nothing when the value is missing.
    std::optional<uint32_t> get(const char* name) const;

  private:
    HKEY key_ = nullptr;
};

inline constexpr const char* kSettingNames[7] = {"StereoMode", "Copyright", "CRC",    "Quality",
                                                 "VBR",        "Original",  "Private"};

} // namespace cvn::test
