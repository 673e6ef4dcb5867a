// VelmoraPlugIn: the contract between the host (Corvane) and the MP3 encoder plug-in.
//
// The plug-in exports exactly these ten functions, undecorated, with C linkage and the C calling
// convention (the caller removes the arguments); each returns a signed 32-bit integer and none
// throws. The library holds one plug-in, number 0: every function that takes a plug-in number
// refuses any other.
//
// Threading. Each function below carries one of these tags:
//   [any thread]                   may be called from any thread, also while other calls run;
//   [not concurrent with anything] changes process-wide state: no other call into the plug-in may
//                                  run at the same time, on any thread;
//   [the stream's thread]          one stream is used by one thread at a time; different streams
//                                  share nothing but the encoder library and may run at once;
//   [the parent window's thread]   shows a modal dialog whose message loop runs on the calling
//                                  thread, which should be the thread of the owner window.
// The plug-in starts no thread and takes no lock of its own.
//
// Order of calls: CVN_InitPlugInDLL first (until it has returned 1, every function but
// CVN_GetPlugInSupportInfo, CVN_WriteBuffer and CVN_CloseStream refuses to work, and those two
// have no stream to work on); then any number
// of queries, dialogs and streams (CVN_InitStream, CVN_WriteBuffer any number of times,
// CVN_CloseStream exactly once); CVN_ClosePlugInDLL once for each successful CVN_InitPlugInDLL,
// after the last stream is closed.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#define CVN_CALL __cdecl
#define CVN_EXPORT
#else
#define CVN_CALL
#define CVN_EXPORT __attribute__((visibility("default")))
#endif

inline constexpr int32_t kFormatCount = 28;
inline constexpr size_t kTextFieldSize = 260;

// The only plug-in number there is.
inline constexpr int32_t kOnlyPlugInNumber = 0;

// The results of CVN_InitPlugInDLL, CVN_GetPlugInInfo, CVN_GetFormatInfo and
// CVN_DisplayAdvancedConfigDlg: done, or refused with nothing done.
inline constexpr int32_t kCallDone = 1;
inline constexpr int32_t kCallRefused = 0;

// The results of CVN_InitStream, CVN_WriteBuffer and CVN_CloseStream. Success is 0 here.
using StreamResult = int32_t;
inline constexpr StreamResult kStreamSucceeded = 0;
inline constexpr StreamResult kStreamRefused =
    1;                                           // a null handle, or InitStream's preconditions: nothing done
inline constexpr StreamResult kStreamFailed = 4; // the library or the file failed: audio or bytes were lost

// The PCM the host hands over: 16-bit stereo frames at this rate.
inline constexpr uint32_t kPlugInSampleRate = 44100;

// The 28 output formats: 14 bitrates, each in stereo (an even FormatIndex) and in mono (the odd
// index after it). The bitrate of a format is entry index / 2 of the table.
inline constexpr uint16_t kBitrateTable[14] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
static_assert(sizeof kBitrateTable / sizeof kBitrateTable[0] * 2 == kFormatCount);

inline constexpr bool isValidFormatIndex(int32_t formatIndex) {
    return formatIndex >= 0 && formatIndex < kFormatCount;
}

// For a valid index only.
inline constexpr uint16_t bitrateOf(int32_t formatIndex) {
    return kBitrateTable[formatIndex / 2];
}

inline constexpr bool isStereoFormat(int32_t formatIndex) {
    return formatIndex % 2 == 0;
}

// The mono format of the same bitrate.
inline constexpr int32_t monoFormatOf(int32_t formatIndex) {
    return formatIndex | 1;
}

// The names of the seven REG_DWORD settings under the host's settings key.
inline constexpr const char* kStereoModeValue = "StereoMode";
inline constexpr const char* kCopyrightValue = "Copyright";
inline constexpr const char* kCrcValue = "CRC";
inline constexpr const char* kQualityValue = "Quality";
inline constexpr const char* kVbrValue = "VBR";
inline constexpr const char* kOriginalValue = "Original";
inline constexpr const char* kPrivateValue = "Private";

// Fixed values that hosts check: the support value, and the first and last words of PlugInInfo.
inline constexpr int32_t kPlugInSupportInfo = 0x10001;
inline constexpr int32_t kPlugInInfoFirstWord = 6;
inline constexpr int32_t kPlugInInfoLastWord = 1;

// Who the plug-in is: 172 bytes, filled by CVN_GetPlugInInfo field by field.
#pragma pack(push, 1)
struct PlugInInfo {
    int32_t firstWord;     // always kPlugInInfoFirstWord (6): hosts expect it
    int32_t formatCount;   // kFormatCount (28)
    char name[128];        // zero-terminated
    char fileTypeText[32]; // zero-terminated
    int32_t lastWord;      // always kPlugInInfoLastWord (1): hosts expect it
};
#pragma pack(pop)
static_assert(sizeof(PlugInInfo) == 172);
static_assert(offsetof(PlugInInfo, firstWord) == 0);
static_assert(offsetof(PlugInInfo, formatCount) == 4);
static_assert(offsetof(PlugInInfo, name) == 8);
static_assert(offsetof(PlugInInfo, fileTypeText) == 136);
static_assert(offsetof(PlugInInfo, lastWord) == 168);

// One output format: 136 bytes, filled by CVN_GetFormatInfo.
#pragma pack(push, 1)
struct FormatInfo {
    char description[128]; // e.g. "128 kBit/sec, Stereo", zero-terminated
    char extension[4];     // "MP3"
    uint32_t byteRate;     // bitrate in kbit/s * 128
};
#pragma pack(pop)
static_assert(sizeof(FormatInfo) == 136);
static_assert(offsetof(FormatInfo, description) == 0);
static_assert(offsetof(FormatInfo, extension) == 128);
static_assert(offsetof(FormatInfo, byteRate) == 132);

// The track's texts, as the host hands them to CVN_InitStream. `size` says how much of the record
// the host's version has: 784 (title, album, artist), 1044 (and the genre name), any other value
// (and the 0-based track number). Each text is zero-terminated within its 260 bytes.
#pragma pack(push, 1)
struct TrackInfo {
    int32_t size;
    char title[kTextFieldSize];
    char album[kTextFieldSize];
    char artist[kTextFieldSize];
    char genre[kTextFieldSize];
    uint8_t track;
};
#pragma pack(pop)
static_assert(sizeof(TrackInfo) == 1045);
static_assert(offsetof(TrackInfo, size) == 0);
static_assert(offsetof(TrackInfo, title) == 4);
static_assert(offsetof(TrackInfo, album) == 264);
static_assert(offsetof(TrackInfo, artist) == 524);
static_assert(offsetof(TrackInfo, genre) == 784);
static_assert(offsetof(TrackInfo, track) == 1044);

inline constexpr int32_t kTrackInfoSizeWithoutGenre = 784;
inline constexpr int32_t kTrackInfoSizeWithoutTrack = 1044;

// The host's handle of a running stream. The host owns a variable of this type and passes its
// address to CVN_WriteBuffer and CVN_CloseStream.
using StreamHandle = void*;

extern "C" {

// Returns kPlugInSupportInfo (0x10001), the fixed value hosts expect, at any time, bound or not.
// No effect. [any thread]
CVN_EXPORT int32_t CVN_CALL CVN_GetPlugInSupportInfo(void);

// Binds the encoder library LAME_ENC.DLL (loaded on the first bind, counted on every one).
// Returns 1 when bound; 0 when the library cannot be loaded or lacks one of its six functions.
// [not concurrent with anything]
CVN_EXPORT int32_t CVN_CALL CVN_InitPlugInDLL(void);

// Takes back one successful bind. Returns 1 when nothing was bound or other binds remain;
// otherwise the library is unloaded and the result is the unload's (nonzero on success).
// Precondition for the call that releases the last bind: every stream is closed; an open stream
// would call into the unloaded library on its next CVN_WriteBuffer or CVN_CloseStream.
// [not concurrent with anything]
CVN_EXPORT int32_t CVN_CALL CVN_ClosePlugInDLL(void);

// Fills *info (172 bytes, host-owned) with the plug-in's name and file type text in the resource
// language. Returns 1; 0 with nothing written when unbound, plugInNumber is not 0 or info is null.
// [any thread]
CVN_EXPORT int32_t CVN_CALL CVN_GetPlugInInfo(int32_t plugInNumber, PlugInInfo* info);

// Fills *info (136 bytes, host-owned) for formatIndex 0 to 27 (isValidFormatIndex, bitrateOf,
// isStereoFormat above). Returns 1; 0 with nothing
// written when unbound, plugInNumber is not 0, the index is outside 0 to 27 or info is null.
// [any thread]
CVN_EXPORT int32_t CVN_CALL CVN_GetFormatInfo(int32_t plugInNumber, int32_t formatIndex, FormatInfo* info);

// Shows the modal about box owned by `parent`. Returns 1 (OK) or 2 (Esc, close box), 0 or -1
// when the dialog cannot be shown; 0 with nothing shown when unbound or plugInNumber is not 0.
// [the parent window's thread]
CVN_EXPORT int32_t CVN_CALL CVN_DisplayAboutDlg(HWND parent, int32_t plugInNumber);

// Shows the modal "Extended Settings" dialog owned by `parent`, which reads the seven settings
// under settingsKey (host-owned, open) and writes them on OK. `unused` is not read. Returns 1 when
// the user left with OK, else 0; 0 with nothing shown when unbound or plugInNumber is not 0. A
// write that fails is not reported: 1 says what the user chose, not that every value was stored.
// [the parent window's thread]
CVN_EXPORT int32_t CVN_CALL CVN_DisplayAdvancedConfigDlg(HWND parent, int32_t plugInNumber, int32_t unused,
                                                         HKEY settingsKey);

// Starts a stream that encodes into a new file at `path` (zero-terminated, under 260 bytes) in
// format formatIndex (0 to 27), configured by the settings under settingsKey, with the texts of
// *trackInfo for its tag (read during the call only). Returns kStreamSucceeded after storing the
// stream into *handle; kStreamRefused with nothing created and *handle untouched on any failure,
// when unbound, when plugInNumber is not 0, or when path, trackInfo or handle is null.
// [any thread]; the new stream belongs to the calling thread until the host hands it on.
CVN_EXPORT StreamResult CVN_CALL CVN_InitStream(const char* path, int32_t plugInNumber, int32_t formatIndex,
                                                HKEY settingsKey, const TrackInfo* trackInfo,
                                                StreamHandle* handle);

// Takes in frameCount 16-bit stereo frames (each a 32-bit word: left in the low half, right in the
// high half) and encodes every chunk they complete. Returns kStreamSucceeded when all were taken
// in (also for a count of 0 or less); kStreamRefused with the message "Illegal Stream Handle"
// when *handle is null (or handle is); kStreamFailed on a library error (with a message), a
// failed write, or a null `frames` with a positive count; kStreamFailed with the message "Invalid
// PlugIn Number" when the stream is not of plug-in 0 (the first word of what *handle points at).
// After a library error the chunk waits and is handed over first by the next call; after a
// failed write it counts as taken (the library consumed it), and the stream's CVN_CloseStream
// gives kStreamFailed. Does not check the bind count itself: a stream
// uses the library it was started with, which stays loaded only until the CVN_ClosePlugInDLL
// that releases the last bind, so every stream is closed before that call (which is
// CVN_ClosePlugInDLL's precondition); a stream used after it calls into an unloaded library.
// [the stream's thread]
CVN_EXPORT StreamResult CVN_CALL CVN_WriteBuffer(StreamHandle* handle, int32_t frameCount,
                                                 const uint32_t* frames);

// Finishes the stream: the last chunk, the flush, the ID3v1 tag, the VBR header when VBR is on;
// frees it whatever happens. Returns kStreamSucceeded when the file is complete, kStreamFailed
// when any step failed or an earlier write lost bytes (the file stays); kStreamRefused without a
// message when *handle (or handle) is null, and kStreamRefused without a message and without
// freeing anything when the stream is not of plug-in 0. Does not clear *handle: the host must not
// pass it again. Before the CVN_ClosePlugInDLL that releases the last bind. [the stream's thread]
CVN_EXPORT StreamResult CVN_CALL CVN_CloseStream(StreamHandle* handle);

} // extern "C"
