// The registry file: where it lives, and reading and changing it safely between processes.
#pragma once

#include "registry_file.h"

#include <functional>

namespace cvn {

// $CVN_REGISTRY, else $XDG_CONFIG_HOME/cvnplatform/registry.reg, else ~/.config/cvnplatform/registry.reg.
std::string registryFilePath();

// The store as the file holds it now (empty when there is no file yet).
RegistryStore readRegistry();

// Reads the store, lets `change` modify it, and writes it back when `change` returns true: under
// an exclusive lock on the file's lock file, through a temporary file renamed over the old one, so
// no reader sees half a file and no concurrent change is lost. Returns false when the file cannot
// be written; the change then did not happen.
bool changeRegistry(const std::function<bool(RegistryStore&)>& change);

} // namespace cvn
