// A test that has the plug-in freshly loaded and the complete fake encoder library as the one
// the plug-in will bind.
#pragma once

#include "fake_encoder.h"
#include "plugin_under_test.h"

#include <gtest/gtest.h>

namespace cvn::test {

class PlugInTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(fake.load());
        ASSERT_NO_FATAL_FAILURE(plugIn.load());
    }
    void TearDown() override {
        plugIn.unload();
        fake.unload();
    }

    // Binds the plug-in to the fake; fails the test when the bind fails.
    void bind() { ASSERT_EQ(plugIn.initPlugInDLL(), 1); }

    FakeEncoder fake;
    PlugIn plugIn;
};

// A PlugInTest that is bound to the fake for the whole test.
class BoundPlugInTest : public PlugInTest {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(PlugInTest::SetUp());
        ASSERT_NO_FATAL_FAILURE(bind());
    }
    void TearDown() override {
        plugIn.closePlugInDLL();
        PlugInTest::TearDown();
    }
};

} // namespace cvn::test
