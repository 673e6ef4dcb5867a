// CVN_InitStream: the encoder configuration from format and stored settings, and setup failures
// that leave nothing behind.
#include "support/stream_fixture.h"
#include "support/test_paths.h"

#include <cstring>
#include <filesystem>

namespace cvn::test {
namespace {

using SetupTest = StreamTest;

TEST_F(SetupTest, ChannelModeFollowsFormatAndStereoMode) {
    struct Case {
        int32_t formatIndex;
        std::optional<uint32_t> stereoMode;
        uint8_t expectedMode;
    };
    const Case cases[] = {
        {16, std::nullopt, 1}, {16, 0, 1}, {16, 1, 0}, {16, 5, 0},
        {17, std::nullopt, 3}, {17, 1, 3}, {0, 0, 1},
    };
    for (const Case& c : cases) {
        if (c.stereoMode) {
            settings.set("StereoMode", *c.stereoMode);
        }
        CVN_StreamHandle handle = start(c.formatIndex);
        const BE_EncoderConfig config = fake.lastConfig();
        EXPECT_EQ(copied(config.channelMode), c.expectedMode) << "format " << c.formatIndex;
        EXPECT_EQ(copied(config.configKind), 0u);
        EXPECT_EQ(copied(config.sampleRate), 44100u);
        EXPECT_EQ(plugIn.closeStream(&handle), 0);
    }
}

TEST_F(SetupTest, BitrateOfEveryFormat) {
    const uint16_t bitrates[14] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    for (int32_t index = 0; index < 28; ++index) {
        CVN_StreamHandle handle = start(index);
        EXPECT_EQ(copied(fake.lastConfig().bitrate), bitrates[index / 2]) << index;
        EXPECT_EQ(plugIn.closeStream(&handle), 0);
    }
}

TEST_F(SetupTest, FlagsAreSetForAnyNonzeroStoredValue) {
    CVN_StreamHandle handle = start(16);
    BE_EncoderConfig config = fake.lastConfig();
    EXPECT_EQ(copied(config.copyrightFlag), 0u);
    EXPECT_EQ(copied(config.originalFlag), 0u);
    EXPECT_EQ(copied(config.privateFlag), 0u) << "missing Private: the private bit stays clear";
    EXPECT_EQ(copied(config.crcWord), 0u);
    plugIn.closeStream(&handle);

    settings.set("Copyright", 2);
    settings.set("CRC", 7);
    settings.set("Original", 1);
    settings.set("Private", 1);
    handle = start(16);
    config = fake.lastConfig();
    EXPECT_EQ(copied(config.copyrightFlag), 1u);
    EXPECT_EQ(copied(config.crcWord), 1u);
    EXPECT_EQ(copied(config.originalFlag), 1u);
    EXPECT_EQ(copied(config.privateFlag), 1u) << "checked private box: the private bit is set";
    plugIn.closeStream(&handle);
}

TEST_F(SetupTest, CrcWordCarriesQualityAndVbrAsStored) {
    settings.set("CRC", 1);
    settings.set("Quality", 2);
    settings.set("VBR", 0);
    CVN_StreamHandle handle = start(16);
    EXPECT_EQ(copied(fake.lastConfig().crcWord), 0x201u);
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
    EXPECT_TRUE(fake.calls("beWriteVBRHeader").empty()) << "constant bitrate: no VBR header";

    settings.set("CRC", 0);
    settings.set("Quality", 0);
    settings.set("VBR", 4);
    handle = start(16);
    EXPECT_EQ(copied(fake.lastConfig().crcWord), 4u << 12);
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
    EXPECT_EQ(fake.calls("beWriteVBRHeader").size(), 1u);

    // Out-of-range values go in unchecked.
    settings.set("Quality", 3);
    settings.set("VBR", 11);
    handle = start(16);
    EXPECT_EQ(copied(fake.lastConfig().crcWord), (3u << 8) | (11u << 12));
    plugIn.closeStream(&handle);

    // Sixteen and more spill into the next field, as VelmoraPlugIn.h says: Quality 16 into the VBR
    // field (VBR quality 0, without the header), VBR 16 past it (with the header).
    struct Spill {
        uint32_t quality, vbr, crcWord;
        size_t vbrHeaders;
    };
    for (const Spill& spill : {Spill{16, 0, 1u << 12, 0}, Spill{0, 16, 1u << 16, 1}}) {
        settings.set("Quality", spill.quality);
        settings.set("VBR", spill.vbr);
        const size_t headersBefore = fake.calls("beWriteVBRHeader").size();
        handle = start(16);
        EXPECT_EQ(copied(fake.lastConfig().crcWord), spill.crcWord);
        EXPECT_EQ(plugIn.closeStream(&handle), 0);
        EXPECT_EQ(fake.calls("beWriteVBRHeader").size() - headersBefore, spill.vbrHeaders);
    }
}

TEST_F(SetupTest, UnreadableValuesCountAsZeroAndTypesAreIgnored) {
    settings.setRaw("Copyright", REG_BINARY, {1, 0, 0, 0});
    settings.setRaw("CRC", REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0}); // longer than 4 bytes
    settings.setRaw("Quality", REG_DWORD, {2});                   // shorter: the low byte
    CVN_StreamHandle handle = start(16);
    const BE_EncoderConfig config = fake.lastConfig();
    EXPECT_EQ(copied(config.copyrightFlag), 1u);
    EXPECT_EQ(copied(config.crcWord), 2u << 8);
    plugIn.closeStream(&handle);

    // A null key: every read fails and counts as 0.
    const CVN_TrackInfo track = trackInfo("", "", "", "", 0);
    handle = nullptr;
    ASSERT_EQ(plugIn.initStream(outputPath().c_str(), 0, 16, nullptr, &track, &handle), 0);
    EXPECT_EQ(copied(fake.lastConfig().crcWord), 0u);
    EXPECT_EQ(copied(fake.lastConfig().channelMode), 1);
    plugIn.closeStream(&handle);
}

TEST_F(SetupTest, SettingsAreReadOnceAtSetup) {
    CVN_StreamHandle handle = start(16);
    settings.set("VBR", 3);
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
    EXPECT_TRUE(fake.calls("beWriteVBRHeader").empty()) << "the running stream keeps its configuration";
}

// A failed setup returns 1, leaves the host's variable alone, closes what it opened and creates
// no file.
class SetupFailureTest : public StreamTest {
  protected:
    void expectRefused(const char* path, int32_t formatIndex, const CVN_TrackInfo* track,
                       bool withHandle = true) {
        auto* const untouched = reinterpret_cast<CVN_StreamHandle>(0x5678);
        CVN_StreamHandle handle = untouched;
        EXPECT_EQ(
            plugIn.initStream(path, 0, formatIndex, settings.handle(), track, withHandle ? &handle : nullptr),
            1);
        EXPECT_EQ(handle, untouched);
        EXPECT_EQ(fake.openStreams(), 0) << "library stream left open";
        if (path != nullptr) {
            EXPECT_FALSE(fileExists(path)) << "file left behind";
        }
    }
    const CVN_TrackInfo track = trackInfo("Title", "Album", "Artist", "Rock", 0);
};

TEST_F(SetupFailureTest, PathInMissingDirectoryClosesTheLibraryStream) {
    expectRefused(directory.file("missing").append("/x.mp3").c_str(), 16, &track);
    EXPECT_EQ(fake.calls("beInitStream").size(), 1u);
    EXPECT_EQ(fake.calls("beCloseStream").size(), 1u);
}

TEST_F(SetupFailureTest, LibraryRefusingTheFormatLeavesNothingToClose) {
    fake.queueResult("beInitStream", 2);
    expectRefused(outputPath().c_str(), 16, &track);
    EXPECT_TRUE(fake.calls("beCloseStream").empty());
}

TEST_F(SetupFailureTest, ChunkSizesThatIntakeCannotServeAreRefused) {
    fake.setStreamSizes(0, 4096);
    expectRefused(outputPath().c_str(), 17, &track);
    fake.setStreamSizes(7, 4096);
    expectRefused(outputPath().c_str(), 16, &track);
    EXPECT_EQ(fake.calls("beCloseStream").size(), 2u);

    fake.setStreamSizes(7, 4096); // odd is fine for mono
    CVN_StreamHandle handle = start(17);
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
}

TEST_F(SetupFailureTest, FormatIndexOutsideTheCatalogue) {
    expectRefused(outputPath().c_str(), 28, &track);
    expectRefused(outputPath().c_str(), -1, &track);
    EXPECT_TRUE(fake.log().empty());
}

TEST_F(SetupFailureTest, NullArguments) {
    expectRefused(nullptr, 16, &track);
    expectRefused(outputPath().c_str(), 16, nullptr);
    expectRefused(outputPath().c_str(), 16, &track, false);
    EXPECT_TRUE(fake.log().empty());
}

TEST_F(SetupFailureTest, PathOf260CharactersIsRefusedAnd259Accepted) {
    const std::string prefix = joinPath(directory.path(), "");
    ASSERT_LT(prefix.size(), 120u);
    const std::string tooLong = prefix + std::string(260 - prefix.size(), 'a');
    ASSERT_EQ(tooLong.size(), 260u);
    expectRefused(tooLong.c_str(), 16, &track);
    EXPECT_TRUE(fake.log().empty());

    // The longest path that fits its field; file systems allow names of 255 bytes at most.
    const std::string subdirectory = prefix + std::string(100, 'd');
    ASSERT_NO_THROW(std::filesystem::create_directories(subdirectory));
    const std::string longest =
        subdirectory + prefix.back() + std::string(259 - subdirectory.size() - 1, 'b');
    ASSERT_EQ(longest.size(), 259u);
    CVN_StreamHandle handle = nullptr;
    ASSERT_EQ(plugIn.initStream(longest.c_str(), 0, 16, settings.handle(), &track, &handle), 0);
    EXPECT_EQ(plugIn.closeStream(&handle), 0);
    EXPECT_EQ(readFileBytes(longest).size(), 128u);
}

} // namespace
} // namespace cvn::test
