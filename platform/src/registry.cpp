// The Reg* functions over the registry file. A key handle stands for a key path; the key's values
// always come from the file, so every process sees every change as soon as it is made.
#include "registry_storage.h"
#include "no_exceptions.h"

#include <windows.h>

#include <cstring>
#include <map>
#include <mutex>
#include <optional>

namespace {

// Not static objects: modules call in from their own unload code, which at process exit runs
// after every static destructor. They are freed by this library's unload code instead, which
// runs after that of the modules that depend on it, and at its dlclose.
std::mutex& g_handlesLock = *new std::mutex;
std::map<uintptr_t, std::string>& g_openKeys = *new std::map<uintptr_t, std::string>;

__attribute__((destructor)) void freeTables() {
    delete &g_openKeys;
    delete &g_handlesLock;
}

uintptr_t g_nextHandle = 0x100;

// The predefined keys are 32-bit values sign-extended to a pointer, as Win32 defines them. Hosts
// built against this header before it did so pass them zero-extended, and are served the same.
std::optional<std::string> predefinedRoot(HKEY key) {
    const auto value = reinterpret_cast<uintptr_t>(key);
    const uintptr_t high = value & ~uintptr_t{0xFFFFFFFFu};
    if (high != 0 && high != ~uintptr_t{0xFFFFFFFFu}) {
        return std::nullopt;
    }
    switch (value & 0xFFFFFFFFu) {
    case 0x80000000u:
        return "HKEY_CLASSES_ROOT";
    case 0x80000001u:
        return "HKEY_CURRENT_USER";
    case 0x80000002u:
        return "HKEY_LOCAL_MACHINE";
    case 0x80000003u:
        return "HKEY_USERS";
    default:
        return std::nullopt;
    }
}

// The path a handle stands for; nothing for a null or unknown handle.
std::optional<std::string> keyPath(HKEY key) {
    if (auto root = predefinedRoot(key)) {
        return root;
    }
    std::lock_guard<std::mutex> lock(g_handlesLock);
    const auto found = g_openKeys.find(reinterpret_cast<uintptr_t>(key));
    if (found == g_openKeys.end()) {
        return std::nullopt;
    }
    return found->second;
}

// "parent" + "\" + subKey, with doubled and trailing backslashes dropped.
std::string childPath(const std::string& parent, LPCSTR subKey) {
    std::string path = parent;
    std::string part;
    for (const char* p = subKey == nullptr ? "" : subKey;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (!part.empty()) {
                path += "\\" + part;
                part.clear();
            }
            if (*p == '\0') {
                break;
            }
        } else {
            part += *p;
        }
    }
    return path;
}

HKEY newHandle(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_handlesLock);
    const uintptr_t handle = g_nextHandle++;
    g_openKeys[handle] = path;
    return reinterpret_cast<HKEY>(handle);
}

// The checks that opening and creating share: a valid parent and somewhere to put the handle.
// On success `path` is the sub key's full path.
LSTATUS subKeyPath(HKEY key, LPCSTR subKey, PHKEY result, std::string& path) {
    const auto parent = keyPath(key);
    if (!parent) {
        return ERROR_INVALID_HANDLE;
    }
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    path = childPath(*parent, subKey);
    return cvn::isStorableName(path) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

} // namespace

extern "C" {

LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM, LPVOID, PHKEY result,
                               LPDWORD disposition) {
    return cvn::withoutExceptions<LSTATUS>(ERROR_OUTOFMEMORY, [&]() -> LSTATUS {
        std::string path;
        if (const LSTATUS status = subKeyPath(key, subKey, result, path); status != ERROR_SUCCESS) {
            return status;
        }
        bool created = false;
        if (!cvn::changeRegistry([&](cvn::RegistryStore& store) {
                created = store.findKey(path) == nullptr;
                store.createKey(path);
                return created;
            })) {
            return ERROR_ACCESS_DENIED;
        }
        *result = newHandle(path);
        if (disposition != nullptr) {
            *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        }
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
    return cvn::withoutExceptions<LSTATUS>(ERROR_OUTOFMEMORY, [&]() -> LSTATUS {
        std::string path;
        if (const LSTATUS status = subKeyPath(key, subKey, result, path); status != ERROR_SUCCESS) {
            return status;
        }
        // The key itself (no sub key) needs no entry of its own: a root has none.
        const bool namesSubKey = !childPath("", subKey).empty();
        cvn::RegistryStore store = cvn::readRegistry();
        if (namesSubKey && store.findKey(path) == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        *result = newHandle(path);
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    if (predefinedRoot(key)) {
        return ERROR_SUCCESS;
    }
    std::lock_guard<std::mutex> lock(g_handlesLock);
    return g_openKeys.erase(reinterpret_cast<uintptr_t>(key)) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                                LPDWORD dataSize) {
    return cvn::withoutExceptions<LSTATUS>(ERROR_OUTOFMEMORY, [&]() -> LSTATUS {
        const auto path = keyPath(key);
        if (!path) {
            return ERROR_INVALID_HANDLE;
        }
        if (data != nullptr && dataSize == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        cvn::RegistryStore store = cvn::readRegistry();
        cvn::RegistryKey* found = store.findKey(*path);
        cvn::RegistryValue* value =
            found == nullptr ? nullptr : store.findValue(*found, valueName == nullptr ? "" : valueName);
        if (value == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (type != nullptr) {
            *type = value->type;
        }
        const auto size = static_cast<DWORD>(value->data.size());
        if (dataSize == nullptr) {
            return ERROR_SUCCESS;
        }
        if (data != nullptr && *dataSize < size) {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        if (data != nullptr) {
            std::memcpy(data, value->data.data(), size);
        }
        *dataSize = size;
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                              DWORD dataSize) {
    return cvn::withoutExceptions<LSTATUS>(ERROR_OUTOFMEMORY, [&]() -> LSTATUS {
        const auto path = keyPath(key);
        if (!path) {
            return ERROR_INVALID_HANDLE;
        }
        if ((data == nullptr && dataSize != 0) ||
            !cvn::isStorableName(valueName == nullptr ? "" : valueName)) {
            return ERROR_INVALID_PARAMETER;
        }
        cvn::RegistryValue value{valueName == nullptr ? "" : valueName, type,
                                 std::vector<uint8_t>(data, data == nullptr ? data : data + dataSize)};
        bool keyExists = true;
        if (!cvn::changeRegistry([&](cvn::RegistryStore& store) {
                // An open handle's key may have been deleted by another process; Windows then refuses.
                cvn::RegistryKey* target =
                    predefinedRoot(key) ? &store.createKey(*path) : store.findKey(*path);
                keyExists = target != nullptr;
                if (!keyExists) {
                    return false;
                }
                if (cvn::RegistryValue* existing = store.findValue(*target, value.name)) {
                    *existing = value;
                } else {
                    target->values.push_back(value);
                }
                return true;
            })) {
            return ERROR_ACCESS_DENIED;
        }
        return keyExists ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    });
}

LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName) {
    return cvn::withoutExceptions<LSTATUS>(ERROR_OUTOFMEMORY, [&]() -> LSTATUS {
        const auto path = keyPath(key);
        if (!path) {
            return ERROR_INVALID_HANDLE;
        }
        bool deleted = false;
        if (!cvn::changeRegistry([&](cvn::RegistryStore& store) {
                cvn::RegistryKey* target = store.findKey(*path);
                if (target == nullptr) {
                    return false;
                }
                const std::string name = valueName == nullptr ? "" : valueName;
                for (auto it = target->values.begin(); it != target->values.end(); ++it) {
                    if (cvn::equalIgnoringAsciiCase(it->name, name)) {
                        target->values.erase(it);
                        deleted = true;
                        return true;
                    }
                }
                return false;
            })) {
            return ERROR_ACCESS_DENIED;
        }
        return deleted ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

} // extern "C"
