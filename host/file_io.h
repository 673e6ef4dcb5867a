// Plain file work that the pending outputs and the copy of standard input share.
#pragma once

#include <cstdint>
#include <string>

namespace cvnhost {

// $TMPDIR when it is set and not empty, else /tmp.
std::string temporaryDirectory();

// Copies everything from the descriptor `in` to `out`, counting the bytes in `bytes`; reads and
// writes cut short by a signal are taken up again. False with errno set on a read or write error.
bool copyAll(int in, int out, uintmax_t& bytes);

} // namespace cvnhost
