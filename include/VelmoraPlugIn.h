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

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#define CVN_CALL __cdecl
#define CVN_EXPORT
#else
#define CVN_CALL
#define CVN_EXPORT __attribute__((visibility("default")))
#endif

#define CVN_FORMAT_COUNT 28
#define CVN_TEXT_FIELD_SIZE 260

// The only plug-in number there is.
#define CVN_ONLY_PLUGIN_NUMBER 0

// The results of CVN_InitPlugInDLL, CVN_GetPlugInInfo, CVN_GetFormatInfo and
// CVN_DisplayAdvancedConfigDlg: done, or refused with nothing done.
#define CVN_CALL_DONE 1
#define CVN_CALL_REFUSED 0

// The results of CVN_InitStream, CVN_WriteBuffer and CVN_CloseStream. Success is 0 here.
typedef int32_t CVN_StreamResult;
#define CVN_STREAM_SUCCEEDED 0
#define CVN_STREAM_REFUSED 1 // a null handle, or InitStream's preconditions: nothing done
#define CVN_STREAM_FAILED 4  // the library or the file failed: audio or bytes were lost

// The PCM the host hands over: 16-bit stereo frames at this rate.
#define CVN_PLUGIN_SAMPLE_RATE 44100u

// The 28 output formats: 14 bitrates (32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256 and
// 320 kbit/s), each in stereo (an even format index) and in mono (the odd index after it).
// CVN_GetFormatInfo describes each; VelmoraPlugIn.hpp has the table for C++.

// The names of the seven REG_DWORD settings under the host's settings key, and what their values
// mean.
#define CVN_STEREO_MODE_VALUE "StereoMode"
#define CVN_COPYRIGHT_VALUE "Copyright"
#define CVN_CRC_VALUE "CRC"
#define CVN_QUALITY_VALUE "Quality"
#define CVN_VBR_VALUE "VBR"
#define CVN_ORIGINAL_VALUE "Original"
#define CVN_PRIVATE_VALUE "Private"

// StereoMode: 0 joint stereo; any other value 2 channel stereo, which the dialog stores as 1.
#define CVN_STEREO_MODE_JOINT 0u
#define CVN_STEREO_MODE_TWO_CHANNEL 1u
// Quality and VBR go to the encoder library as stored, each in four bits of one word of its
// configuration (lame_enc_interface.h): the plug-in checks neither, and a value of 16 or more spills
// into the next field.
// Quality: 0 normal, 1 low, 2 high; the dialog checks no button for a larger value. The library
// refuses 3 to 15; of a larger value it takes the low four bits as the quality, and the next four
// reach it ORed into the VBR value (Quality 16 with VBR 0 encodes at VBR quality 0, and without
// the VBR header: the plug-in takes VBR for off).
#define CVN_QUALITY_NORMAL 0u
#define CVN_QUALITY_LOW 1u
#define CVN_QUALITY_HIGH 2u
// VBR: 0 off (a constant bitrate); otherwise the VBR quality + 1, from 1 (quality 0, the best) to
// 10 (quality 9); the dialog selects nothing for a larger value. The library refuses 11 to 15, and
// of a larger value sees only the low four bits (VBR 16 encodes at a constant bitrate, and the
// plug-in, taking VBR for on, still asks the library for the VBR header).
#define CVN_VBR_OFF 0u
#define CVN_VBR_HIGHEST 10u
// Copyright, CRC, Original and Private: any value but 0 sets the flag.

// Fixed values that hosts check: the support value, and the first and last words of
// CVN_PlugInInfo.
#define CVN_PLUGIN_SUPPORT_INFO 0x10001
#define CVN_PLUGIN_INFO_FIRST_WORD 6
#define CVN_PLUGIN_INFO_LAST_WORD 1

// Who the plug-in is: 172 bytes, filled by CVN_GetPlugInInfo field by field.
#pragma pack(push, 1)
typedef struct CVN_PlugInInfo {
    int32_t firstWord;     // always CVN_PLUGIN_INFO_FIRST_WORD (6): hosts expect it
    int32_t formatCount;   // CVN_FORMAT_COUNT (28)
    char name[128];        // zero-terminated
    char fileTypeText[32]; // zero-terminated
    int32_t lastWord;      // always CVN_PLUGIN_INFO_LAST_WORD (1): hosts expect it
} CVN_PlugInInfo;
#pragma pack(pop)

// One output format: 136 bytes, filled by CVN_GetFormatInfo.
#pragma pack(push, 1)
typedef struct CVN_FormatInfo {
    char description[128]; // e.g. "128 kBit/sec, Stereo", zero-terminated
    char extension[4];     // "MP3"
    uint32_t byteRate;     // bitrate in kbit/s * 128
} CVN_FormatInfo;
#pragma pack(pop)

// The track's texts, as the host hands them to CVN_InitStream. `size` says how much of the record
// the host's version has: 784 (title, album, artist), 1044 (and the genre name), any other value
// (and the 0-based track number). Each text is zero-terminated within its 260 bytes.
#pragma pack(push, 1)
typedef struct CVN_TrackInfo {
    int32_t size;
    char title[CVN_TEXT_FIELD_SIZE];
    char album[CVN_TEXT_FIELD_SIZE];
    char artist[CVN_TEXT_FIELD_SIZE];
    char genre[CVN_TEXT_FIELD_SIZE];
    uint8_t track;
} CVN_TrackInfo;
#pragma pack(pop)

#define CVN_TRACK_INFO_SIZE_WITHOUT_GENRE 784
#define CVN_TRACK_INFO_SIZE_WITHOUT_TRACK 1044

// The host's handle of a running stream. The host owns a variable of this type and passes its
// address to CVN_WriteBuffer and CVN_CloseStream.
typedef void* CVN_StreamHandle;

#ifdef __cplusplus
extern "C" {
#endif

// Returns CVN_PLUGIN_SUPPORT_INFO (0x10001), the fixed value hosts expect, at any time, bound or not.
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
CVN_EXPORT int32_t CVN_CALL CVN_GetPlugInInfo(int32_t plugInNumber, CVN_PlugInInfo* info);

// Fills *info (136 bytes, host-owned) for formatIndex 0 to 27 (cvn::isValidFormatIndex, cvn::bitrateOf
// and cvn::isStereoFormat of VelmoraPlugIn.hpp). Returns 1; 0 with nothing
// written when unbound, plugInNumber is not 0, the index is outside 0 to 27 or info is null.
// [any thread]
CVN_EXPORT int32_t CVN_CALL CVN_GetFormatInfo(int32_t plugInNumber, int32_t formatIndex,
                                              CVN_FormatInfo* info);

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
// *trackInfo for its tag (read during the call only). Returns CVN_STREAM_SUCCEEDED after storing the
// stream into *handle; CVN_STREAM_REFUSED with nothing created and *handle untouched on any failure,
// when unbound, when plugInNumber is not 0, or when path, trackInfo or handle is null.
// [any thread]; the new stream belongs to the calling thread until the host hands it on.
CVN_EXPORT CVN_StreamResult CVN_CALL CVN_InitStream(const char* path, int32_t plugInNumber,
                                                    int32_t formatIndex, HKEY settingsKey,
                                                    const CVN_TrackInfo* trackInfo, CVN_StreamHandle* handle);

// Takes in frameCount 16-bit stereo frames (each a 32-bit word: left in the low half, right in the
// high half) and encodes every chunk they complete. Returns CVN_STREAM_SUCCEEDED when all were taken
// in (also for a count of 0 or less); CVN_STREAM_REFUSED with the message "Illegal Stream Handle"
// when *handle is null (or handle is); CVN_STREAM_FAILED on a library error (with a message), a
// failed write, or a null `frames` with a positive count; CVN_STREAM_FAILED with the message "Invalid
// PlugIn Number" when the stream is not of plug-in 0 (the first word of what *handle points at).
// After a library error the chunk waits and is handed over first by the next call; after a
// failed write it counts as taken (the library consumed it), and the stream's CVN_CloseStream
// gives CVN_STREAM_FAILED. Does not check the bind count itself: a stream
// uses the library it was started with, which stays loaded only until the CVN_ClosePlugInDLL
// that releases the last bind, so every stream is closed before that call (which is
// CVN_ClosePlugInDLL's precondition); a stream used after it calls into an unloaded library.
// [the stream's thread]
CVN_EXPORT CVN_StreamResult CVN_CALL CVN_WriteBuffer(CVN_StreamHandle* handle, int32_t frameCount,
                                                     const uint32_t* frames);

// Finishes the stream: the last chunk, the flush, the ID3v1 tag, the VBR header when VBR is on;
// frees it whatever happens. Returns CVN_STREAM_SUCCEEDED when the file is complete, CVN_STREAM_FAILED
// when any step failed or an earlier write lost bytes (the file stays); CVN_STREAM_REFUSED without a
// message when *handle (or handle) is null, and CVN_STREAM_REFUSED without a message and without
// freeing anything when the stream is not of plug-in 0. Does not clear *handle: the host must not
// pass it again. Before the CVN_ClosePlugInDLL that releases the last bind. [the stream's thread]
CVN_EXPORT CVN_StreamResult CVN_CALL CVN_CloseStream(CVN_StreamHandle* handle);

#ifdef __cplusplus
} // extern "C"
#endif
