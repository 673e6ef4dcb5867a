// The resources of the modules that registered themselves, and the choice of language.
#pragma once

#include "resource_file.h"

#include <windows.h>

#include <optional>

namespace cvn {

inline constexpr uint16_t kResourceTypeDialog = 5;
inline constexpr uint16_t kResourceTypeString = 6;
inline constexpr uint16_t kResourceTypeVersion = 16;

inline constexpr uint16_t kLanguageGerman = 1031;
inline constexpr uint16_t kLanguageEnglish = 1033;

// German when the first of LC_ALL, LC_MESSAGES and LANG that is set (and not empty) starts with
// "de", else English. Read on every lookup, so a process that changes its locale sees it at once.
uint16_t userInterfaceLanguage();

// The resource of `module` with this type and number in the user interface language; failing
// that in English, then without a language, then in any language.
std::optional<ResourceEntry> findModuleResource(HMODULE module, uint16_t type, uint16_t name);

} // namespace cvn
