// The 28 output formats as the host lists them.
#include "support/plugin_fixture.h"
#include "support/test_language.h"

#include <cstring>
#include <string>

namespace cvn::test {
namespace {

const int kBitrates[14] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

TEST_F(PlugInTest, EveryFormatInBothLanguages) {
    bind();
    const std::string unit = expectGerman() ? " kBit/sek, " : " kBit/sec, ";
    for (int32_t index = 0; index < 28; ++index) {
        CVN_FormatInfo info;
        std::memset(&info, 0xAB, sizeof info);
        ASSERT_EQ(plugIn.getFormatInfo(0, index, &info), 1) << index;
        const int bitrate = kBitrates[index / 2];
        // The mode word is English in every language.
        const std::string mode = index % 2 == 0 ? "Stereo" : "Mono";
        EXPECT_EQ(std::string(info.description), std::to_string(bitrate) + unit + mode) << index;
        EXPECT_EQ(std::memcmp(info.extension, "MP3", 4), 0) << index;
        EXPECT_EQ(info.byteRate, static_cast<uint32_t>(bitrate * 128)) << index;
    }
    plugIn.closePlugInDLL();
}

TEST_F(PlugInTest, IndexesOutsideTheCatalogueAreRefusedUntouched) {
    bind();
    for (int32_t index : {-1, 28, 1000, INT32_MIN}) {
        CVN_FormatInfo info;
        std::memset(&info, 0xAB, sizeof info);
        EXPECT_EQ(plugIn.getFormatInfo(0, index, &info), 0) << index;
        EXPECT_EQ(static_cast<unsigned char>(info.description[0]), 0xAB) << index;
        EXPECT_EQ(info.byteRate, 0xABABABABu) << index;
    }
    plugIn.closePlugInDLL();
}

} // namespace
} // namespace cvn::test
