// Plain file work that the pending outputs and the copy of standard input share.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace cvnhost {

// The folders of `output` that are missing, made; false with the cause in `error`. Made only once
// a track's input has opened, so that a run that can encode nothing makes nothing.
bool makeFoldersOf(const std::string& output, std::string& error);

// Renames `from` to `to` unless `to` exists; false with errno set (EEXIST when it does). Where the
// file system cannot be asked for that in one step (exfat-fuse and other FUSE drivers refuse
// RENAME_NOREPLACE), it is looked for first: a file made there in between would be replaced.
bool renameWithoutReplacing(const std::string& from, const std::string& to);

// $TMPDIR when it is set and not empty, else /tmp.
std::string temporaryDirectory();

// Copies everything from the descriptor `in` to `out`, counting the bytes in `bytes`; reads and
// writes cut short by a signal are taken up again. False with errno set on a read or write error.
bool copyAll(int in, int out, uintmax_t& bytes);

// The same from a pipe or terminal that may stay silent for ever: it waits for data at most a
// fifth of a second at a time, and gives up (false, errno EINTR) once `stop` is set.
bool copyAllUntil(int in, int out, uintmax_t& bytes, const std::atomic<bool>& stop);

} // namespace cvnhost
