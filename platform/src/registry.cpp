// The Reg* functions over the registry file. A key handle stands for a key path; the key's values
// always come from the file, so every process sees every change as soon as it is made. Volatile
// keys (REG_OPTION_VOLATILE) live in this process's memory only, as Win32 keeps them until the
// system stops: they are never written to the file, and a key of that path in the file is hidden
// behind one while it exists.
#include "registry_storage.h"
#include "share/no_exceptions.h"

#include <cvnplatform.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace {

// Not static objects: modules call in from their own unload code, which at process exit runs
// after every static destructor. They are freed by this library's unload code instead, which
// runs after that of the modules that depend on it, and at its dlclose.
std::mutex& g_handlesLock = *new std::mutex;
std::map<uintptr_t, std::string>& g_openKeys = *new std::map<uintptr_t, std::string>;
std::mutex& g_volatileLock = *new std::mutex;
cvn::RegistryDocument& g_volatileKeys = *new cvn::RegistryDocument;

__attribute__((destructor)) void freeTables() {
    delete &g_volatileKeys;
    delete &g_volatileLock;
    delete &g_openKeys;
    delete &g_handlesLock;
}

thread_local LSTATUS g_lastWriteError = ERROR_SUCCESS;

// A change of the registry file, its failure remembered for cvnRegistryLastWriteError.
LSTATUS change(const std::function<bool(cvn::RegistryDocument&)>& edit) {
    const LSTATUS status = cvn::changeRegistry(edit);
    if (status != ERROR_SUCCESS) {
        g_lastWriteError = status;
    }
    return status;
}

bool isVolatileKey(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_volatileLock);
    return g_volatileKeys.hasKey(path);
}

// A text for a caller's buffer of `size` bytes: cut to fit and terminated.
void copyCutToFit(const std::string& text, char* buffer, size_t size) {
    if (buffer != nullptr && size > 0) {
        const size_t copied = std::min(text.size(), size - 1);
        std::memcpy(buffer, text.data(), copied);
        buffer[copied] = '\0';
    }
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

LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD options, REGSAM, LPVOID,
                               PHKEY result, LPDWORD disposition) {
    return share::withoutExceptions<LSTATUS>(ERROR_OUTOFMEMORY, [&]() -> LSTATUS {
        std::string path;
        if (const LSTATUS status = subKeyPath(key, subKey, result, path); status != ERROR_SUCCESS) {
            return status;
        }
        bool created = false;
        if (isVolatileKey(path)) {
            created = false;
        } else if ((options & REG_OPTION_VOLATILE) != 0) {
            // An existing key keeps what it is; only a new one is made volatile.
            std::shared_ptr<const cvn::RegistryDocument> stored;
            if (const LSTATUS status = cvn::readRegistry(stored); status != ERROR_SUCCESS) {
                return status;
            }
            if (!stored->hasKey(path)) {
                std::lock_guard<std::mutex> lock(g_volatileLock);
                created = g_volatileKeys.createKey(path);
            }
        } else if (const LSTATUS status = change([&](cvn::RegistryDocument& document) {
                       created = document.createKey(path);
                       return created;
                   });
                   status != ERROR_SUCCESS) {
            return status;
        }
        *result = newHandle(path);
        if (disposition != nullptr) {
            *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        }
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
    return share::withoutExceptions<LSTATUS>(ERROR_OUTOFMEMORY, [&]() -> LSTATUS {
        std::string path;
        if (const LSTATUS status = subKeyPath(key, subKey, result, path); status != ERROR_SUCCESS) {
            return status;
        }
        // The key itself (no sub key) needs no entry of its own: a root has none.
        const bool namesSubKey = !childPath("", subKey).empty();
        if (namesSubKey && !isVolatileKey(path)) {
            std::shared_ptr<const cvn::RegistryDocument> stored;
            if (const LSTATUS status = cvn::readRegistry(stored); status != ERROR_SUCCESS) {
                return status;
            }
            if (!stored->hasKey(path)) {
                return ERROR_FILE_NOT_FOUND;
            }
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
    return share::withoutExceptions<LSTATUS>(ERROR_OUTOFMEMORY, [&]() -> LSTATUS {
        const auto path = keyPath(key);
        if (!path) {
            return ERROR_INVALID_HANDLE;
        }
        if (data != nullptr && dataSize == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        const std::string name = valueName == nullptr ? "" : valueName;
        std::optional<cvn::RegistryValue> value;
        if (isVolatileKey(*path)) {
            std::lock_guard<std::mutex> lock(g_volatileLock);
            if (const cvn::RegistryValue* found = g_volatileKeys.findValue(*path, name)) {
                value = *found;
            }
        } else {
            std::shared_ptr<const cvn::RegistryDocument> stored;
            if (const LSTATUS status = cvn::readRegistry(stored); status != ERROR_SUCCESS) {
                return status;
            }
            if (const cvn::RegistryValue* found = stored->findValue(*path, name)) {
                value = *found;
            }
        }
        if (!value) {
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
    return share::withoutExceptions<LSTATUS>(ERROR_OUTOFMEMORY, [&]() -> LSTATUS {
        const auto path = keyPath(key);
        if (!path) {
            return ERROR_INVALID_HANDLE;
        }
        if ((data == nullptr && dataSize != 0) ||
            !cvn::isStorableName(valueName == nullptr ? "" : valueName)) {
            return ERROR_INVALID_PARAMETER;
        }
        const cvn::RegistryValue value{valueName == nullptr ? "" : valueName, type,
                                       std::vector<uint8_t>(data, data == nullptr ? data : data + dataSize)};
        if (isVolatileKey(*path)) {
            std::lock_guard<std::mutex> lock(g_volatileLock);
            return g_volatileKeys.setValue(*path, value) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
        }
        bool keyExists = true;
        const LSTATUS status = change([&](cvn::RegistryDocument& document) {
            // An open handle's key may have been deleted by another process; Windows then refuses.
            if (predefinedRoot(key)) {
                document.createKey(*path);
            }
            keyExists = document.setValue(*path, value);
            return keyExists;
        });
        if (status != ERROR_SUCCESS) {
            return status;
        }
        return keyExists ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    });
}

LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName) {
    return share::withoutExceptions<LSTATUS>(ERROR_OUTOFMEMORY, [&]() -> LSTATUS {
        const auto path = keyPath(key);
        if (!path) {
            return ERROR_INVALID_HANDLE;
        }
        const std::string name = valueName == nullptr ? "" : valueName;
        if (isVolatileKey(*path)) {
            std::lock_guard<std::mutex> lock(g_volatileLock);
            return g_volatileKeys.deleteValue(*path, name) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
        }
        bool deleted = false;
        const LSTATUS status = change([&](cvn::RegistryDocument& document) {
            deleted = document.deleteValue(*path, name);
            return deleted;
        });
        if (status != ERROR_SUCCESS) {
            return status;
        }
        return deleted ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LSTATUS cvnRegistryLastWriteError(void) {
    return g_lastWriteError;
}

size_t cvnRegistryValueLine(HKEY key, LPCSTR name, char* text, size_t size, int* readable) {
    return share::withoutExceptions<size_t>(0, [&]() -> size_t {
        const auto path = keyPath(key);
        std::shared_ptr<const cvn::RegistryDocument> stored;
        if (!path || isVolatileKey(*path) || cvn::readRegistry(stored) != ERROR_SUCCESS) {
            return 0;
        }
        const cvn::RegistryDocument::ValueLine line = stored->valueLine(*path, name == nullptr ? "" : name);
        copyCutToFit(line.text, text, size);
        if (readable != nullptr) {
            *readable = line.readable ? 1 : 0;
        }
        return line.number;
    });
}

LSTATUS cvnRegistryBeginChanges(void) {
    return share::withoutExceptions<LSTATUS>(ERROR_OUTOFMEMORY, [] { return cvn::beginRegistryChanges(); });
}

LSTATUS cvnRegistryEndChanges(BOOL keep) {
    return share::withoutExceptions<LSTATUS>(ERROR_OUTOFMEMORY, [&] {
        const LSTATUS status = cvn::endRegistryChanges(keep != FALSE);
        if (status != ERROR_SUCCESS) {
            g_lastWriteError = status;
        }
        return status;
    });
}

void cvnRegistryHoldReads(BOOL hold) {
    cvn::holdRegistryReads(hold != FALSE);
}

size_t cvnRegistryFilePath(char* buffer, size_t size) {
    return share::withoutExceptions<size_t>(0, [&]() -> size_t {
        const std::string path = cvn::registryFilePath();
        copyCutToFit(path, buffer, size);
        return path.size();
    });
}

} // extern "C"
