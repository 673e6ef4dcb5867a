#include "encoding/stored_settings.h"

#include "share/win32/registry_values.h"

#include <cvnplatform.h>

#include <unistd.h>

#include <cstdint>

namespace cvnhost {

std::string registryFileName() {
    std::string path(cvnRegistryFilePath(nullptr, 0) + 1, '\0');
    path.resize(cvnRegistryFilePath(path.data(), path.size()));
    return "the registry file " + path;
}

std::string registryErrorText(LSTATUS status) {
    switch (status) {
    case ERROR_FILE_NOT_FOUND:
        return "it does not exist";
    case ERROR_PATH_NOT_FOUND:
        return "its directory does not exist and cannot be created";
    case ERROR_TOO_MANY_OPEN_FILES:
        return "too many files are open";
    case ERROR_ACCESS_DENIED:
        return "permission denied";
    case ERROR_WRITE_PROTECT:
        return "the file system is read-only";
    case ERROR_DISK_FULL:
        return "the disk is full";
    case ERROR_OUTOFMEMORY:
        return "out of memory";
    case ERROR_BADDB:
        return "it is not a REGEDIT4 file (it does not start with the line REGEDIT4); it is left as it is";
    case ERROR_READ_FAULT:
        return "it could not be read";
    case ERROR_WRITE_FAULT:
        return "it could not be written";
    default:
        return "Win32 error " + std::to_string(status);
    }
}

HKEY openStoredSettingsKey(const std::string& path, bool mustExist, std::string& error) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key);
    if (status == ERROR_FILE_NOT_FOUND && mustExist) {
        error = "the settings key HKEY_CURRENT_USER\\" + path + " does not exist in " + registryFileName() +
                "; `cvnhost settings --settings '" + path + "' ...` makes it";
        return nullptr;
    }
    if (status == ERROR_FILE_NOT_FOUND) {
        status = RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_READ,
                                 nullptr, &key, nullptr);
    }
    if (status != ERROR_SUCCESS) {
        error = "cannot read the settings key HKEY_CURRENT_USER\\" + path + " from " + registryFileName() +
                ": " + registryErrorText(status);
        return nullptr;
    }
    return key;
}

bool checkStoredSettings(HKEY key, const std::string& path, std::string& error) {
    const std::string where = " under HKEY_CURRENT_USER\\" + path + " in " + registryFileName();
    for (const share::Setting& setting : share::kSettings) {
        uint32_t value = 0;
        DWORD size = sizeof value;
        const LSTATUS status =
            RegQueryValueExA(key, setting.name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        if (status == ERROR_FILE_NOT_FOUND) {
            // A line that names the value but holds nothing readable would leave the plug-in's
            // default in its place without a word.
            char line[256] = "";
            int readable = 0;
            if (const size_t number = cvnRegistryValueLine(key, setting.name, line, sizeof line, &readable);
                number != 0 && readable == 0) {
                error = std::string("the setting ") + setting.name + where + " cannot be read: line " +
                        std::to_string(number) + " (" + line +
                        ") holds no value the registry reads; set it with `cvnhost settings`";
                return false;
            }
            continue;
        }
        if (status == ERROR_MORE_DATA) {
            error = std::string("the setting ") + setting.name + where + " holds more than 4 bytes";
            return false;
        }
        if (status != ERROR_SUCCESS) {
            error = std::string("cannot read the setting ") + setting.name + where + ": " +
                    registryErrorText(status);
            return false;
        }
        if (!share::shownValueOf(setting, value)) {
            error = std::string("the setting ") + setting.name + " is " + std::to_string(value) + where +
                    ", outside 0 to " + std::to_string(setting.highest) +
                    "; set it with `cvnhost settings` (--quality, --vbr)";
            return false;
        }
    }
    return true;
}

namespace {

bool setDword(HKEY key, const char* name, uint32_t value) {
    return share::writeDword(key, name, value) == ERROR_SUCCESS;
}

} // namespace

HKEY makeSettingsKeyOfThisRun(HKEY stored, const share::SettingChoices& ownSettings, std::string& error) {
    const std::string path = "Software\\Corvane\\VelmoraPlugIn run of cvnhost " + std::to_string(getpid());
    HKEY key = nullptr;
    DWORD disposition = 0;
    const LSTATUS status = RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                           KEY_ALL_ACCESS, nullptr, &key, &disposition);
    if (status != ERROR_SUCCESS || disposition != REG_CREATED_NEW_KEY) {
        // A key of that name in the file would take the run's values into the file.
        error =
            "cannot make the settings of this run: " +
            (status != ERROR_SUCCESS ? registryErrorText(status) : "HKEY_CURRENT_USER\\" + path + " exists");
        if (key != nullptr) {
            RegCloseKey(key);
        }
        return nullptr;
    }
    for (const share::Setting& setting : share::kSettings) {
        BYTE data[4] = {};
        DWORD size = sizeof data;
        DWORD type = 0;
        if (RegQueryValueExA(stored, setting.name, nullptr, &type, data, &size) == ERROR_SUCCESS) {
            RegSetValueExA(key, setting.name, 0, type, data, size);
        }
    }
    bool set = true;
    for (size_t index = 0; index < share::kSettingCount && set; ++index) {
        set = !ownSettings[index] || setDword(key, share::kSettings[index].name, *ownSettings[index]);
    }
    if (!set) {
        error = "cannot make the settings of this run";
        RegCloseKey(key);
        return nullptr;
    }
    return key;
}

std::vector<std::string> settingTexts(HKEY key) {
    std::vector<std::string> texts;
    for (const share::Setting& setting : share::kSettings) {
        uint32_t value = 0;
        DWORD size = sizeof value;
        const bool read = RegQueryValueExA(key, setting.name, nullptr, nullptr,
                                           reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS;
        texts.push_back(std::string(setting.name) + "=" + (read ? std::to_string(value) : "0"));
    }
    return texts;
}

uint32_t storedVbrOf(HKEY key) {
    uint32_t value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, CVN_VBR_VALUE, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS) {
        return 0;
    }
    return value;
}

} // namespace cvnhost
