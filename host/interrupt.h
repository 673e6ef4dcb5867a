// Ctrl-C and SIGTERM: the first asks every track to stop reading; their streams are still closed,
// so each file is a valid MP3 of what was encoded. The flag is the only thing the handler touches.
#pragma once

#include <atomic>

namespace cvnhost {

// Installs the handlers; the returned flag turns true on the first signal.
const std::atomic<bool>& stopOnInterrupt();

} // namespace cvnhost
