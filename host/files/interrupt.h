// Ctrl-C, SIGTERM, SIGHUP and SIGPIPE: the first asks every track to stop reading; their streams
// are still closed, and no file cut short takes an output's place. The flag is the only thing the
// handler touches.
#pragma once

#include <atomic>

namespace cvnhost {

// Installs the handlers; the returned flag turns true on the first signal.
const std::atomic<bool>& stopOnInterrupt();

// The same flag, for work that must notice a stop without owning the handlers: false until
// stopOnInterrupt has been called and a signal came.
const std::atomic<bool>& stopRequested();

} // namespace cvnhost
