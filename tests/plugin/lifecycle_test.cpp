// Binding and releasing the encoder library, and what every entry point refuses before a bind,
// for other plug-in numbers, and for null arguments.
#include "support/message_boxes.h"
#include "support/plugin_fixture.h"
#include "support/test_language.h"
#include "support/test_paths.h"

#include <cstring>

namespace cvn::test {
namespace {

bool encoderLibraryLoaded() {
    return GetModuleHandleA("LAME_ENC.DLL") != nullptr;
}

// The plug-in and a fake chosen per test; the test holds no reference of its own to the fake, so
// whether the plug-in keeps the library loaded shows in GetModuleHandleA.
class BindingTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(plugIn.load()); }
    void TearDown() override {
        plugIn.unload();
        SetDllDirectoryA(nullptr);
    }
    void useLibraryFrom(const std::string& variant) {
        SetDllDirectoryA(fakeLibraryDirectory(variant).c_str());
    }
    PlugIn plugIn;
};

TEST_F(BindingTest, TwoBindsNeedTwoReleasesToUnloadTheLibrary) {
    useLibraryFrom("complete");
    ASSERT_FALSE(encoderLibraryLoaded());
    EXPECT_EQ(plugIn.initPlugInDLL(), 1);
    EXPECT_EQ(plugIn.initPlugInDLL(), 1);
    EXPECT_TRUE(encoderLibraryLoaded());

    EXPECT_EQ(plugIn.closePlugInDLL(), 1);
    EXPECT_TRUE(encoderLibraryLoaded());
    CVN_PlugInInfo info{};
    EXPECT_EQ(plugIn.getPlugInInfo(0, &info), 1) << "one bind remains";

    EXPECT_NE(plugIn.closePlugInDLL(), 0) << "the unload's result: nonzero on success";
    EXPECT_FALSE(encoderLibraryLoaded());
    EXPECT_EQ(plugIn.getPlugInInfo(0, &info), 0) << "unbound again";
}

TEST_F(BindingTest, ReleaseWithoutBindIsHarmless) {
    EXPECT_EQ(plugIn.closePlugInDLL(), 1);
    EXPECT_EQ(plugIn.closePlugInDLL(), 1);
}

TEST_F(BindingTest, MissingLibraryFailsTheBindAndLeavesTheCountAlone) {
    useLibraryFrom("none");
    EXPECT_EQ(plugIn.initPlugInDLL(), 0);
    EXPECT_EQ(plugIn.closePlugInDLL(), 1) << "nothing bound";
    useLibraryFrom("complete");
    EXPECT_EQ(plugIn.initPlugInDLL(), 1);
    EXPECT_NE(plugIn.closePlugInDLL(), 0) << "one release unloads: the failed bind was not counted";
    EXPECT_FALSE(encoderLibraryLoaded());
}

TEST_F(BindingTest, LibraryLackingOneNameFailsThenCompleteLibraryBinds) {
    useLibraryFrom("without_vbr_header");
    EXPECT_EQ(plugIn.initPlugInDLL(), 0);
    EXPECT_FALSE(encoderLibraryLoaded()) << "the incomplete library is unloaded again";
    CVN_PlugInInfo info{};
    EXPECT_EQ(plugIn.getPlugInInfo(0, &info), 0);
    EXPECT_EQ(plugIn.closePlugInDLL(), 1);

    useLibraryFrom("complete");
    EXPECT_EQ(plugIn.initPlugInDLL(), 1);
    EXPECT_EQ(plugIn.getPlugInInfo(0, &info), 1);
    EXPECT_NE(plugIn.closePlugInDLL(), 0);
    EXPECT_FALSE(encoderLibraryLoaded());
}

TEST_F(BindingTest, SupportInfoAnswersWhetherBoundOrNot) {
    EXPECT_EQ(plugIn.getPlugInSupportInfo(), 65537);
    useLibraryFrom("complete");
    ASSERT_EQ(plugIn.initPlugInDLL(), 1);
    EXPECT_EQ(plugIn.getPlugInSupportInfo(), 65537);
    plugIn.closePlugInDLL();
}

class RefusalTest : public PlugInTest, public ::testing::WithParamInterface<int32_t> {};

// Every entry point that needs a bound library refuses, and touches nothing, unbound and for
// plug-in numbers other than 0.
void expectRefusals(PlugIn& plugIn, int32_t plugInNumber) {
    CVN_PlugInInfo info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_EQ(plugIn.getPlugInInfo(plugInNumber, &info), 0);
    CVN_FormatInfo format;
    std::memset(&format, 0xAB, sizeof format);
    EXPECT_EQ(plugIn.getFormatInfo(plugInNumber, 0, &format), 0);
    for (size_t i = 0; i < sizeof info; ++i) {
        ASSERT_EQ(reinterpret_cast<unsigned char*>(&info)[i], 0xAB) << "CVN_PlugInInfo byte " << i;
    }
    for (size_t i = 0; i < sizeof format; ++i) {
        ASSERT_EQ(reinterpret_cast<unsigned char*>(&format)[i], 0xAB) << "CVN_FormatInfo byte " << i;
    }
    EXPECT_EQ(plugIn.displayAboutDlg(nullptr, plugInNumber), 0);
    EXPECT_EQ(plugIn.displayAdvancedConfigDlg(nullptr, plugInNumber, 12345, nullptr), 0);
    CVN_TrackInfo track{};
    track.size = sizeof track;
    auto* const untouched = reinterpret_cast<CVN_StreamHandle>(0x1234);
    CVN_StreamHandle handle = untouched;
    EXPECT_EQ(plugIn.initStream("refused.mp3", plugInNumber, 16, nullptr, &track, &handle), 1);
    EXPECT_EQ(handle, untouched);
}

TEST_F(PlugInTest, EverythingButSupportInfoRefusesBeforeTheBind) {
    expectRefusals(plugIn, 0);
    EXPECT_EQ(fake.log().size(), 0u) << "the library was never called";
}

TEST_P(RefusalTest, OtherPlugInNumbersAreRefusedWhenBound) {
    bind();
    expectRefusals(plugIn, GetParam());
    EXPECT_EQ(fake.log().size(), 0u);
    plugIn.closePlugInDLL();
}

INSTANTIATE_TEST_SUITE_P(PlugInNumbers, RefusalTest, ::testing::Values(1, -1));

TEST_F(PlugInTest, NullRecordsAreRefused) {
    bind();
    EXPECT_EQ(plugIn.getPlugInInfo(0, nullptr), 0);
    EXPECT_EQ(plugIn.getFormatInfo(0, 0, nullptr), 0);
    plugIn.closePlugInDLL();
}

TEST_F(PlugInTest, NullStreamHandleIsRefusedWithAMessageOnWriteAndSilentlyOnClose) {
    MessageBoxes boxes;
    CVN_StreamHandle empty = nullptr;
    const uint32_t frames[2] = {0, 0};
    // Neither needs a bound library.
    EXPECT_EQ(plugIn.writeBuffer(&empty, 2, frames), 1);
    EXPECT_EQ(plugIn.writeBuffer(nullptr, 2, frames), 1);
    EXPECT_EQ(plugIn.closeStream(&empty), 1);
    EXPECT_EQ(plugIn.closeStream(nullptr), 1);
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"Illegal Stream Handle", "Illegal Stream Handle"}));
}

TEST_F(PlugInTest, PlugInInfoInBothLanguages) {
    bind();
    CVN_PlugInInfo info;
    std::memset(&info, 0xAB, sizeof info);
    ASSERT_EQ(plugIn.getPlugInInfo(0, &info), 1);
    EXPECT_EQ(info.firstWord, 6);
    EXPECT_EQ(info.formatCount, 28);
    EXPECT_EQ(info.lastWord, 1);
    if (expectGerman()) {
        EXPECT_STREQ(info.name, "Velmora MP3 PlugIn f\xFCr Corvane");
        EXPECT_STREQ(info.fileTypeText, "MP3 Audiodatei");
    } else {
        EXPECT_STREQ(info.name, "Velmora MP3 PlugIn for Corvane");
        EXPECT_STREQ(info.fileTypeText, "MP3 Audio file");
    }
    plugIn.closePlugInDLL();
}

} // namespace
} // namespace cvn::test
