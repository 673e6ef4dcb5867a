// A broken invariant ends the process at once, saying which check found it. The binding's
// invariant is broken here by hand: a library counted as bound whose functions were never resolved.
#include "binding/encoder_library.h"
#include "share/invariants.h"

#include <gtest/gtest.h>

namespace cvn::test {
namespace {

#ifndef _WIN32 // abort() under Wine may stop at a message box instead of ending the process
TEST(InvariantDeathTest, ABrokenInvariantStopsTheProcessSayingWhere) {
    if (!share::kCheckInvariants) {
        GTEST_SKIP() << "built without CVN_CHECK_INVARIANTS";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            velmora::EncoderLibrary library;
            library.module = reinterpret_cast<HMODULE>(1);
            library.bindCount = 2;
            velmora::releaseEncoderLibrary(library);
        },
        "VelmoraPlugIn: an invariant does not hold after a release");
}
#endif

} // namespace
} // namespace cvn::test
