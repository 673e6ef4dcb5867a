// The checks of the numbered invariants that the plug-in keeps (stream/encoder_stream.h,
// binding/encoder_library.h). They run in every build that runs tests, whatever NDEBUG says: the
// build option CVN_CHECK_INVARIANTS, on by default wherever tests are built, defines the name
// below. A broken invariant ends the process at once, saying where.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace share {

#ifdef CVN_CHECK_INVARIANTS
inline constexpr bool kCheckInvariants = true;
#else
inline constexpr bool kCheckInvariants = false;
#endif

// Calls `hold` and stops the process when it returns false; calls nothing when the checks are off.
template <typename Check> void checkInvariants(Check hold, const char* where) {
    if constexpr (kCheckInvariants) {
        if (!hold()) {
            std::fprintf(stderr, "VelmoraPlugIn: an invariant does not hold %s\n", where);
            std::abort();
        }
    }
}

} // namespace share
