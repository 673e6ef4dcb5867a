// What the Linux platform layer offers beyond the Win32 names: the hooks through which a module
// makes its resources known and a host or a test takes the place of the user.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Called by a module's load-time constructor with the address of anything inside the module and
// the bytes of its compiled resource script (.res). Returns the module's own handle, the one that
// LoadLibraryA and GetModuleHandleA give for it, or null when the address lies in no loaded object.
// The bytes must stay valid until cvnUnregisterModule.
HMODULE cvnRegisterModule(const void* addressInModule, const unsigned char* resourceBytes, size_t size);

// Called by the module's unload-time destructor; its resources are gone afterwards.
void cvnUnregisterModule(HMODULE module);

// A message box handler takes the place of the user: it sees the owner, text, caption and type of
// every MessageBoxA call and returns the button that was pressed. Null restores the default handler.
typedef int (*CvnMessageBoxHandler)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
void cvnSetMessageBoxHandler(CvnMessageBoxHandler handler);

// A dialog driver plays the user for a modal dialog: DialogBoxParamA calls it once the dialog is
// initialised, and it acts through the ordinary Win32 calls on the dialog window. It gets back the
// context it was set with, so that what it reads and fills in needs no global. Null removes it;
// the pair is replaced as one, also while another thread shows a dialog.
typedef void (*CvnDialogDriver)(HWND dialog, void* context);
void cvnSetDialogDriver(CvnDialogDriver driver, void* context);

// The path of the registry file that the Reg* functions read and write, for a host's messages:
// copied into `buffer` (cut and terminated to fit `size`); returns the path's full length.
size_t cvnRegistryFilePath(char* buffer, size_t size);

// The Win32 error of the last registry change (RegCreateKeyExA, RegSetValueExA, RegDeleteValueA)
// on this thread that failed, or ERROR_SUCCESS when none has. A host learns from it why a module
// that ignores the results of its writes, as the plug-in's settings dialog does, lost them.
LSTATUS cvnRegistryLastWriteError(void);

// The last line of the registry file that names the value `name` of `key`: returns its 1-based
// number, 0 when no line names it (or `key` is no key of the file). The line goes into `text`
// (cut and terminated to fit `size`), and *readable says whether a value could be read from it: a
// damaged line ("VBR"=dword:zz) is kept in the file but reads as no value, and a host names it so.
size_t cvnRegistryValueLine(HKEY key, LPCSTR name, char* text, size_t size, int* readable);

// Makes this thread's registry changes, until cvnRegistryEndChanges, one change of the file, as a
// host needs for a dialog that stores several values: other writers (threads or processes) wait
// until the end, readers elsewhere see the file before or after all of them, and this thread's
// own reads see its changes. cvnRegistryEndChanges(TRUE) writes the file once and returns the
// write's Win32 error, FALSE drops the changes. Begin returns ERROR_BUSY when this thread has begun
// already, or the error of taking the lock or reading the file.
LSTATUS cvnRegistryBeginChanges(void);
LSTATUS cvnRegistryEndChanges(BOOL keep);

// While held (TRUE), this thread's reads of the registry file all see the version it read first:
// values read one by one are of one moment. FALSE lets reads see every change again.
void cvnRegistryHoldReads(BOOL hold);

#ifdef __cplusplus
}
#endif
