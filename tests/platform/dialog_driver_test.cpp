// The dialog driver's hook: what a host sets is what DialogBoxParamA calls.
#include <gtest/gtest.h>

#include <cvnplatform.h>

#include <array>

namespace cvn::test {
namespace {

// A resource file of one dialog, number 1, language neutral, without controls.
alignas(4) const unsigned char kOneDialog[] = {
    24,   0,    0, 0, 32,   0,    0, 0, // data size, header size
    0xFF, 0xFF, 5, 0, 0xFF, 0xFF, 1, 0, // type: dialog; name: 1
    0,    0,    0, 0, 0,    0,    0, 0, // data version, memory flags, language
    0,    0,    0, 0, 0,    0,    0, 0, // version, characteristics
    0,    0,    0, 0, 0,    0,    0, 0, // the template: style, extended style
    0,    0,    0, 0, 0,    0,    0, 0, // no controls, position, width
    0,    0,    0, 0, 0,    0,    0, 0, // height, no menu, class or title
};

INT_PTR ignoreMessages(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// Writes its mark into the context it is handed and presses OK.
template <int Mark> void markContext(HWND dialog, void* context) {
    *static_cast<int*>(context) = Mark;
    EndDialog(dialog, IDOK);
}

TEST(DialogDriver, HandsBackTheContextItWasSetWithUntilReplaced) {
    // The dialog needs a module, which must be a shared object: the platform library, which has no
    // resources of its own, stands in for one.
    const HMODULE module =
        cvnRegisterModule(reinterpret_cast<const void*>(&cvnSetDialogDriver), kOneDialog, sizeof kOneDialog);
    ASSERT_NE(module, nullptr);
    std::array<int, 2> marks{};
    const struct {
        CvnDialogDriver driver;
        int* context;
        std::array<int, 2> marksAfter;
    } steps[] = {
        {markContext<1>, &marks[0], {1, 0}},
        {markContext<2>, &marks[1], {1, 2}},
    };
    for (const auto& step : steps) {
        cvnSetDialogDriver(step.driver, step.context);
        EXPECT_EQ(DialogBoxParamA(module, MAKEINTRESOURCEA(1), nullptr, ignoreMessages, 0), IDOK);
        EXPECT_EQ(marks, step.marksAfter);
    }
    cvnSetDialogDriver(nullptr, nullptr);
    cvnUnregisterModule(module);
}

} // namespace
} // namespace cvn::test
