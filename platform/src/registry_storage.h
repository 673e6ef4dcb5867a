// The registry file: where it lives, and reading and changing it safely between processes.
#pragma once

#include "registry_file.h"

#include <windows.h>

#include <functional>
#include <memory>

namespace cvn {

// $CVN_REGISTRY, else $XDG_CONFIG_HOME/cvnplatform/registry.reg, else ~/.config/cvnplatform/registry.reg
// (the home from $HOME, else from the user database).
std::string registryFilePath();

// The registry as the file holds it now: an empty one when there is no file yet. A file that
// cannot be read gives its Win32 error (ERROR_ACCESS_DENIED, ERROR_TOO_MANY_OPEN_FILES, ...), one
// that is not a REGEDIT4 file ERROR_BADDB; `document` is then untouched. The file is parsed again
// only when it changed since the last read of this process. Reading takes no lock and creates
// nothing: every writer replaces the file whole.
LSTATUS readRegistry(std::shared_ptr<const RegistryDocument>& document);

// Reads the registry, lets `change` modify it, and writes it back when `change` returns true:
// under an exclusive lock on the file's lock file, through a temporary file renamed over the old
// one, so no reader sees half a file and no concurrent change is lost. A file that cannot be read
// or is not a REGEDIT4 file is never written. Returns ERROR_SUCCESS, or the Win32 error of the
// read or the write; the change then did not happen.
LSTATUS changeRegistry(const std::function<bool(RegistryDocument&)>& change);

// Gathers this thread's changes into one: from begin to end it holds the writers' lock (other
// writers, in this process or another, wait), its reads see the file as read at the start with
// its own changes, and end(true) writes the file once. Another process's reader sees the file
// before or after, never part of the changes. end(false) drops them.
LSTATUS beginRegistryChanges();
LSTATUS endRegistryChanges(bool keep);

// While held, this thread's reads see one version of the file, the first one read: several
// values read one after the other are of one moment, also when another process changes them.
void holdRegistryReads(bool hold);

} // namespace cvn
