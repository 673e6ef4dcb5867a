// The subset of the Win32 API that the plug-in, its host and its tests use, for Linux.
//
// It keeps the Win32 names, types and signatures so that the code above it is written once and
// compiles unchanged against the real <windows.h> on Windows. The types keep their Win32 widths:
// DWORD and LONG are 32 bits on every platform, the *_PTR types are pointer-sized. Everything here
// is implemented by libcvnplatform.so, which every module of a process shares, so that the host,
// the plug-in and the encoder library see one loader, one registry and one set of windows.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define WINAPI
#define WINAPIV
#define CALLBACK
#define __cdecl

typedef int BOOL;
typedef int INT;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int32_t LONG;
typedef char CHAR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef LONG LSTATUS;
typedef DWORD REGSAM;

typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HWND__* HWND;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef INT_PTR (*FARPROC)(void);

#define TRUE 1
#define FALSE 0

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define MB_OK 0x00000000u
#define IDOK 1
#define IDCANCEL 2

#define MAKEINTRESOURCEA(id) ((LPSTR)(ULONG_PTR)(WORD)(id))
#define LOWORD(value) ((WORD)(((uintptr_t)(value)) & 0xffff))
#define HIWORD(value) ((WORD)((((uintptr_t)(value)) >> 16) & 0xffff))

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_WRITE_PROTECT 19L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_HANDLE_DISK_FULL 39L
#define ERROR_DISK_FULL 112L
#define ERROR_BADDB 1009L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_BUSY 170L
#define ERROR_MORE_DATA 234L

#define REG_NONE 0
#define REG_SZ 1
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_OPTION_NON_VOLATILE 0
#define REG_OPTION_VOLATILE 1
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

// As in Win32: 32-bit values sign-extended to the pointer's width (0xFFFFFFFF80000001 on 64 bits).
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))

#define WM_CLOSE 0x0010
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_CLICK 0x00F5
#define BN_CLICKED 0
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define CB_ADDSTRING 0x0143
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_SETCURSEL 0x014E
#define CB_ERR (-1)
#define CB_ERRSPACE (-2)

#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_CAPTION 0x00C00000L
#define WS_VSCROLL 0x00200000L
#define WS_SYSMENU 0x00080000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define BS_PUSHBUTTON 0x0L
#define BS_DEFPUSHBUTTON 0x1L
#define BS_CHECKBOX 0x2L
#define BS_AUTOCHECKBOX 0x3L
#define BS_RADIOBUTTON 0x4L
#define BS_GROUPBOX 0x7L
#define BS_AUTORADIOBUTTON 0x9L
#define BS_TYPEMASK 0xFL
#define SS_LEFT 0x0L
#define CBS_DROPDOWNLIST 0x3L
#define CBS_SORT 0x100L

#define MAKEWPARAM(low, high) ((WPARAM)(DWORD)(((WORD)(low)) | ((DWORD)((WORD)(high))) << 16))

// The dialog window's slot for its procedure's own data, after the result and the procedure.
#define DWLP_USER (sizeof(LRESULT) + sizeof(void*))

typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);

// Loader. A name that ends in ".dll" (any case) and has no slash stands for the shared object
// "lib" + its stem in lower case + ".so": "LAME_ENC.DLL" is liblame_enc.so. Such a name is looked
// for in the directory given to SetDllDirectoryA, then along the caller's own search path
// (LD_LIBRARY_PATH, the caller's RUNPATH, the system directories). A path with a slash is loaded
// as given. HMODULE is the dynamic loader's handle of the object.
HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
BOOL WINAPI FreeLibrary(HMODULE module);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName);
BOOL WINAPI SetDllDirectoryA(LPCSTR pathName);

// Resources, read from the compiled resource script that a module registered at load time. The
// language is German when the first set of LC_ALL, LC_MESSAGES and LANG starts with "de", else
// English; a resource missing in the chosen language is taken in English.
int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax);

// Formats %d, %i, %u, %x, %X, %c, %s and %% into at most 1024 characters, terminator included;
// returns the number of characters stored, terminator not counted.
int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...);

// Shows the text to the user. By default it writes one line "Caption: text" to stderr and returns
// IDOK; a host or a test can install its own handler (cvnplatform.h).
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Modal dialogs, built from the module's dialog template (classic form) in the user interface
// language. There is no desktop: once WM_INITDIALOG has run, the dialog driver that the host or a
// test installed (cvnplatform.h) plays the user through the functions below. EndDialog's value is
// the result; a driver that returns with the dialog still open closes it as the close box would,
// with WM_COMMAND for IDCANCEL. Without a driver the result is -1, for an invalid parent or a
// missing template it is 0 and -1 as on Windows.
INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC dialogProc,
                               LPARAM initParam);
BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);
HWND WINAPI GetDlgItem(HWND dialog, int id);
int WINAPI GetDlgCtrlID(HWND control);
UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int bufferMax);
BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
int WINAPI GetWindowTextA(HWND window, LPSTR buffer, int bufferMax);
BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check);
UINT WINAPI IsDlgButtonChecked(HWND dialog, int id);
BOOL WINAPI CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId);
// Buttons: BM_GETCHECK, BM_SETCHECK, BM_CLICK (an auto check box toggles, an auto radio button is
// checked and the other radio buttons of its WS_GROUP group cleared, then the dialog gets
// WM_COMMAND BN_CLICKED). Combo boxes: CB_ADDSTRING, CB_SETCURSEL (an index outside the list
// clears the selection and gives CB_ERR), CB_GETCURSEL, CB_GETCOUNT, CB_GETLBTEXT. A dialog: any
// message goes to its procedure.
LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index);
LONG WINAPI GetWindowLongA(HWND window, int index);
BOOL WINAPI IsWindow(HWND window);
#define GWL_STYLE (-16)
#define GWL_ID (-12)

// Registry: keys and values kept in a REGEDIT4 text file, at $CVN_REGISTRY when that is set, else
// at $XDG_CONFIG_HOME/cvnplatform/registry.reg (~/.config when XDG_CONFIG_HOME is not set). Every
// change reaches the file at once and atomically, under an advisory lock, so processes that share
// the file lose none of each other's changes; every line of the file that a change does not touch
// stays as it was. A file that cannot be read fails the call with its Win32 error, one that is not
// a REGEDIT4 file with ERROR_BADDB, and neither is ever written. Reading creates nothing. Keys
// created with REG_OPTION_VOLATILE live in the process's memory only. A key handle is a number,
// never a pointer: a null or unknown handle fails the call with ERROR_INVALID_HANDLE. Key and
// value names ignore ASCII case.
LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                               REGSAM desired, LPVOID security, PHKEY result, LPDWORD disposition);
LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LSTATUS WINAPI RegCloseKey(HKEY key);
// Data larger than *dataSize gives ERROR_MORE_DATA with the size needed in *dataSize.
LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD dataSize);
LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                              DWORD dataSize);
LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName);

#ifdef __cplusplus
}
#endif
