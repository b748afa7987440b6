/*
 * win32.h - native stand-in of the Win32 subset used by the plug-in.
 *
 * Declares the types, constants and functions the product calls, with the
 * Win32 names and semantics, implemented over POSIX in libwin32standin.
 * Also declares the Standin* hooks that tests use to observe and steer the
 * stand-in (live local blocks, platform id, display profile, failure
 * injection).
 *
 * State that Windows keeps per user (registry, profile files in the Windows
 * directory) lives below the folder named by the environment variable
 * MOVRELA_WINROOT, read at every call, so each test can use a folder of its
 * own. Without it the folder is $HOME/.movrela-winroot.
 */
#ifndef MOVRELA_STANDIN_WIN32_H
#define MOVRELA_STANDIN_WIN32_H

#include <csetjmp>
#include <cstddef>
#include <cstdint>

/* Calling conventions mean nothing natively. */
#define WINAPI
#define CALLBACK
#define APIENTRY
#define __stdcall

typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int16_t SHORT;
typedef char CHAR;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef BYTE *LPBYTE;
typedef DWORD *LPDWORD;
typedef LONG *PLONG;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef size_t SIZE_T;
typedef LONG LSTATUS;
typedef DWORD REGSAM;

typedef void *HANDLE;
typedef HANDLE HLOCAL;
typedef struct StandinModule *HMODULE;
typedef HMODULE HINSTANCE;
typedef struct StandinKey *HKEY;
typedef HKEY *PHKEY;
typedef struct StandinWindow *HWND;
typedef struct StandinDC *HDC;
typedef INT_PTR (*FARPROC)();

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define MAKEINTRESOURCEA(i) ((LPSTR)(uintptr_t)(WORD)(i))
#define LOWORD(l) ((WORD)(((uintptr_t)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((uintptr_t)(l)) >> 16) & 0xffff))
#define MAX_PATH 260

/* ---- errors ---- */
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MORE_DATA 234L
/* Added for the stand-in (winerror.h values). */
#define NO_ERROR 0L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_GEN_FAILURE 31L
#define ERROR_FILE_EXISTS 80L
#define ERROR_DISK_FULL 112L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_NEGATIVE_SEEK 131L
#define ERROR_NOT_LOCKED 158L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_KEY_DELETED 1018L
#define ERROR_DLL_INIT_FAILED 1114L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
DWORD GetLastError(void);
void SetLastError(DWORD code);

/* ---- files ---- */
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define GENERIC_ALL 0x10000000u
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_ATTRIBUTE_ARCHIVE 0x20u
#define FILE_ATTRIBUTE_DEVICE 0x40u
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x400u
#define FILE_ATTRIBUTE_OFFLINE 0x1000u
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_TYPE_UNKNOWN 0x0000u
#define FILE_TYPE_DISK 0x0001u
#define FILE_TYPE_CHAR 0x0002u
#define FILE_TYPE_PIPE 0x0003u
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)-1)

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;
/* 100-nanosecond ticks since 1 January 1601 (UTC). */
typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;

/* File handles are small values (below 0x10000), as Win32's are. Backslashes
 * in names are taken as path separators. CreateFileA never waits for the
 * other end of a FIFO: it opens at once, and GetFileType tells it a pipe. */
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                   DWORD disposition, DWORD flags, HANDLE templ);
BOOL ReadFile(HANDLE file, LPVOID buf, DWORD toRead, LPDWORD read, LPOVERLAPPED ov);
BOOL WriteFile(HANDLE file, LPCVOID buf, DWORD toWrite, LPDWORD written, LPOVERLAPPED ov);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
DWORD GetFileSize(HANDLE file, LPDWORD high);
BOOL CloseHandle(HANDLE object);
/* FILE_TYPE_DISK for a regular file (and a block device, as for a volume),
 * FILE_TYPE_CHAR for a character device, FILE_TYPE_PIPE for a FIFO or a
 * socket. */
DWORD GetFileType(HANDLE file);
/* The creation time is the status-change time: POSIX keeps no creation
 * time. The last access and write times are the file's. */
BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME write);
/* FILE_ATTRIBUTE_DIRECTORY for a folder, FILE_ATTRIBUTE_DEVICE for a
 * character or block device, FILE_ATTRIBUTE_REPARSE_POINT (with the folder
 * bit when it leads to one) for a symbolic link, and otherwise
 * FILE_ATTRIBUTE_ARCHIVE. A FIFO or a socket has a plain file's
 * attributes: only GetFileType, once it is open, tells it from one. */
DWORD GetFileAttributesA(LPCSTR name);

/* ---- temporary files (temp_files.cpp) ---- */
#define FILE_ATTRIBUTE_TEMPORARY 0x100u
/* The file leaves its folder when opened (POSIX keeps it readable through
 * the handle), so that none is left however the handle ends. */
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define ERROR_BUFFER_OVERFLOW 111L
typedef union _ULARGE_INTEGER {
  unsigned long long QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;
/* MOVRELA_WINROOT/temp/, made on first use. */
DWORD GetTempPathA(DWORD size, LPSTR buf);
UINT GetTempFileNameA(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR name);
BOOL DeleteFileA(LPCSTR name);
BOOL GetDiskFreeSpaceExA(LPCSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree);

/* ---- local memory ---- */
#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u
#define LMEM_MODIFY 0x0080u
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define LMEM_LOCKCOUNT 0x00ffu
#define LMEM_INVALID_HANDLE 0x8000u

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalReAlloc(HLOCAL mem, SIZE_T bytes, UINT flags);
LPVOID LocalLock(HLOCAL mem);
BOOL LocalUnlock(HLOCAL mem);
HLOCAL LocalFree(HLOCAL mem);
SIZE_T LocalSize(HLOCAL mem);
UINT LocalFlags(HLOCAL mem);

/* ---- process heap ---- */
HANDLE GetProcessHeap(void);
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID mem);
#define HEAP_ZERO_MEMORY 0x00000008u

/* ---- address space: reservations only ---- */
#define MEM_RESERVE 0x00002000u
#define MEM_RELEASE 0x00008000u
#define PAGE_NOACCESS 0x01u
LPVOID VirtualAlloc(LPVOID address, SIZE_T bytes, DWORD type, DWORD protect);
BOOL VirtualFree(LPVOID address, SIZE_T bytes, DWORD type);

/* ---- version ---- */
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
typedef struct _OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize; /* must be 148 */
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
} OSVERSIONINFOA, *LPOSVERSIONINFOA;
BOOL GetVersionExA(LPOSVERSIONINFOA info);

/* ---- system ---- */
typedef struct _SYSTEM_INFO {
  WORD wProcessorArchitecture;
  WORD wReserved;
  DWORD dwPageSize;
  LPVOID lpMinimumApplicationAddress;
  LPVOID lpMaximumApplicationAddress;
  ULONG_PTR dwActiveProcessorMask;
  DWORD dwNumberOfProcessors; /* the processors online */
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;
void GetSystemInfo(LPSYSTEM_INFO info);

/* ---- critical sections ---- */
typedef struct _CRITICAL_SECTION {
  void *impl; /* a recursive mutex, created by InitializeCriticalSection */
} CRITICAL_SECTION, *LPCRITICAL_SECTION;
void InitializeCriticalSection(LPCRITICAL_SECTION cs);
void EnterCriticalSection(LPCRITICAL_SECTION cs);
void LeaveCriticalSection(LPCRITICAL_SECTION cs);
void DeleteCriticalSection(LPCRITICAL_SECTION cs);

/* ---- thread-local slots ---- */
#define TLS_OUT_OF_INDEXES 0xFFFFFFFFu
DWORD TlsAlloc(void);
LPVOID TlsGetValue(DWORD index);
BOOL TlsSetValue(DWORD index, LPVOID value);
BOOL TlsFree(DWORD index);

/* ---- unwind guards (platform/unwind_guard.h) ---- */
/* A per-thread chain of guards, the stand-in's structured exception
 * records: StandinFault plays a fault that the host catches further out,
 * running the routines of the guards pushed since the innermost mark, the
 * newest first, and then jumping to that mark. */
struct StandinGuard {
  StandinGuard *next;
  void (*onUnwind)(StandinGuard *guard);
};
struct StandinFaultMark {
  jmp_buf jump;             /* set by the host with setjmp after marking */
  StandinGuard *guards;     /* the chain when the mark was set */
  StandinFaultMark *outer;
};
extern "C" {
void StandinPushGuard(StandinGuard *guard);
void StandinPopGuard(StandinGuard *guard);
void StandinSetFaultMark(StandinFaultMark *mark);
void StandinClearFaultMark(StandinFaultMark *mark);
[[noreturn]] void StandinFault(void);
}

/* ---- events and waits ---- */
/* Unnamed events only: a name gives ERROR_INVALID_PARAMETER. CloseHandle
 * closes an event. Waits accept events only (anything else: WAIT_FAILED,
 * ERROR_INVALID_HANDLE); a wait with a timeout other than 0 looks every
 * 10 ms for registry changes as well as at SetEvent. */
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES sa, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE *objects, BOOL waitAll, DWORD milliseconds);

/* ---- threads ---- */
/* A thread's handle is a manual-reset event set when its routine returns:
 * wait on it, then CloseHandle it. Stack size and flags are ignored. */
typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID parameter);
HANDLE CreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId);
/* Makes the next CreateThread calls fail (ERROR_NOT_ENOUGH_MEMORY) while on. */
void StandinFailCreateThread(BOOL fail);

/* ---- dynamic libraries ---- */
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3
/* LoadLibraryA dlopens the file and calls its exported DllMain (if any) with
 * DLL_PROCESS_ATTACH once per process; FreeLibrary calls it with
 * DLL_PROCESS_DETACH when the last reference goes. A name without a
 * separator is looked up in the current folder first, then by dlopen's own
 * search. */
HMODULE LoadLibraryA(LPCSTR name);
/* Dependencies are found by dlopen alone, so the flags change nothing. */
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008u
HMODULE LoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
DWORD GetModuleFileNameA(HMODULE module, LPSTR buf, DWORD size);
/* The Windows folder is StandinRootFolder()/windows, the system folder its
 * subfolder system32. Both answer the length copied, or the size needed
 * (terminator included) when `size` is too small. */
UINT GetWindowsDirectoryA(LPSTR buf, UINT size);
UINT GetSystemDirectoryA(LPSTR buf, UINT size);

/* ---- strings and resources ---- */
/* Loads string `id` of the module's string table (the table the module
 * exports as StandinStringTable, see below). */
int LoadStringA(HINSTANCE inst, UINT id, LPSTR buf, int bufMax);
int lstrlenA(LPCSTR s);
int lstrcmpiA(LPCSTR a, LPCSTR b);
LPSTR lstrcpynA(LPSTR dst, LPCSTR src, int max);
#define CP_ACP 0
#define CP_UTF8 65001

/* ---- registry ---- */
#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_ALL_ACCESS 0xF003Fu
#define REG_OPTION_NON_VOLATILE 0u
#define REG_OPTION_VOLATILE 1u
#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_DWORD_BIG_ENDIAN 5u
#define REG_LINK 6u
#define REG_MULTI_SZ 7u
#define REG_NOTIFY_CHANGE_NAME 0x1u
#define REG_NOTIFY_CHANGE_ATTRIBUTES 0x2u
#define REG_NOTIFY_CHANGE_LAST_SET 0x4u
#define REG_NOTIFY_CHANGE_SECURITY 0x8u
#define REG_NOTIFY_THREAD_AGNOSTIC 0x10000000u

/* Keys and value names compare without regard to letter case. Only the
 * HKEY_CURRENT_USER hive is stored (below MOVRELA_WINROOT); the other roots
 * exist and are empty. */
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM sam, PHKEY result);
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR cls, DWORD options,
                     REGSAM sam, LPSECURITY_ATTRIBUTES sa, PHKEY result, LPDWORD disposition);
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data,
                    DWORD dataSize);
LONG RegDeleteValueA(HKEY key, LPCSTR name);
/* Deletes a key with its values; one with subkeys gives ERROR_ACCESS_DENIED. */
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);
LONG RegDeleteTreeA(HKEY key, LPCSTR subKey);
/* Closing a handle sets the events of its pending notifications. */
LONG RegCloseKey(HKEY key);
/* Change notification, asynchronous only (with an event; otherwise
 * ERROR_INVALID_PARAMETER). The handle needs KEY_NOTIFY; a deleted key gives
 * ERROR_KEY_DELETED. One registration sets its event once, then is gone:
 *   - REG_NOTIFY_CHANGE_LAST_SET: a value of the key set or deleted;
 *   - REG_NOTIFY_CHANGE_NAME: a subkey of the key created or deleted;
 *   - with watchSubtree, the same for every key below it.
 * As under Wine, the deletion of the key itself is reported only to those
 * watching its parent (or an ancestor, with watchSubtree): the key's own
 * registrations end without a word (a key created again under its name does
 * not revive them). RegDeleteTreeA deletes the values of each key before
 * the keys, RegDeleteKeyA does not. Attribute and security changes never
 * happen here.
 * How it works, for changes by any process alike: every change to the hive
 * is appended as one line to the change log MOVRELA_WINROOT/registry/
 * .changes (by the process that makes it, after making it). A registration
 * remembers how long the log was; a wait on an event, and ResetEvent, first
 * read what was appended since (one stat() when nothing was) and set the
 * events of the registrations it concerns. A registration also fires when
 * MOVRELA_WINROOT names another folder than when it was made, or the log
 * was removed or replaced: the whole store changed. The log only grows. */
LONG RegNotifyChangeKeyValue(HKEY key, BOOL watchSubtree, DWORD filter, HANDLE event,
                             BOOL asynchronous);

/* ---- profile (INI) files ---- */
/* A file name without a folder lies in the Windows folder (MOVRELA_WINROOT/
 * windows). Sections and keys compare without regard to letter case. */
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT def, LPCSTR file);
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR def, LPSTR buf, DWORD size,
                               LPCSTR file);
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);

/* ---- device-independent bitmaps ---- */
#define BI_RGB 0L
#define BI_BITFIELDS 3L
#pragma pack(push, 2)
typedef struct tagBITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
} BITMAPFILEHEADER;
#pragma pack(pop)
typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER, *LPBITMAPINFOHEADER;
typedef struct tagRGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
} RGBQUAD;
static_assert(sizeof(BITMAPFILEHEADER) == 14, "Win32 layout");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "Win32 layout");

/* ---- common controls ---- */
void InitCommonControls(void);

/* ---- windows, dialogs and controls ---- */
/* An in-memory model of modal dialogs (standin/dialogs.cpp). DialogBoxParamA
 * builds the dialog and its controls from the module's exported template
 * table (StandinDialogTable, below), sends WM_INITDIALOG and then runs the
 * test's dialog script (StandinSetDialogScript), which plays the user's
 * actions through the StandinClick... hooks. There is no message loop: the
 * dialog ends when its procedure calls EndDialog, and a script that returns
 * with the dialog still open makes DialogBoxParamA return -1. The model
 * serves one thread at a time.
 *
 * Geometry, in pixels: the desktop is 1024 x 768 (StandinSetDesktopSize).
 * Dialog units map as for an 8-point "MS Sans Serif" dialog at 96 DPI,
 * whatever the template's font: base units 6 x 13, so x = MulDiv(dlu, 6, 4)
 * and y = MulDiv(dlu, 13, 8), rounded. A dialog's window is its client area
 * plus a 3-pixel frame on every side and, with WS_CAPTION, a 19-pixel
 * caption. A template's x, y place the window relative to the owner's
 * top-left corner (the screen without owner), moved back onto the desktop
 * where it would stick out. Controls keep their template rectangles. */
typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT, *LPRECT;
typedef const RECT *LPCRECT;
typedef INT_PTR(CALLBACK *DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef struct tagNMHDR {
  HWND hwndFrom;
  UINT_PTR idFrom;
  UINT code;
} NMHDR, *LPNMHDR;

#define MAKELONG(lo, hi) ((LONG)(((WORD)(lo)) | (((DWORD)((WORD)(hi))) << 16)))
#define MAKEWPARAM(lo, hi) ((WPARAM)(DWORD)MAKELONG(lo, hi))
#define MAKELPARAM(lo, hi) ((LPARAM)(DWORD)MAKELONG(lo, hi))
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L

#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_NOPARENTNOTIFY 0x00000004L
#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_STATICEDGE 0x00020000L
#define DS_ABSALIGN 0x0001L
#define DS_SYSMODAL 0x0002L
#define DS_3DLOOK 0x0004L
#define DS_SETFONT 0x0040L
#define DS_MODALFRAME 0x0080L
#define DS_SETFOREGROUND 0x0200L
#define DS_CENTER 0x0800L

#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

#define WM_CLOSE 0x0010
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_NOTIFY 0x004E
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_HSCROLL 0x0114
#define WM_VSCROLL 0x0115
#define WM_USER 0x0400
#define DM_GETDEFID (WM_USER + 0)
#define DC_HASDEFID 0x534B
#define SB_THUMBPOSITION 4

#define BS_PUSHBUTTON 0x0L
#define BS_DEFPUSHBUTTON 0x1L
#define BS_CHECKBOX 0x2L
#define BS_AUTOCHECKBOX 0x3L
#define BS_3STATE 0x5L
#define BS_AUTO3STATE 0x6L
#define BS_GROUPBOX 0x7L
#define BS_TYPEMASK 0xFL
#define BS_LEFTTEXT 0x20L
#define BN_CLICKED 0
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define BST_INDETERMINATE 2

#define ES_LEFT 0x0000L
#define ES_CENTER 0x0001L
#define ES_RIGHT 0x0002L
#define ES_MULTILINE 0x0004L
#define ES_AUTOVSCROLL 0x0040L
#define ES_AUTOHSCROLL 0x0080L
#define ES_READONLY 0x0800L
#define ES_WANTRETURN 0x1000L
#define ES_NUMBER 0x2000L
#define EN_CHANGE 0x0300
#define EM_LIMITTEXT 0x00C5
#define EM_SETLIMITTEXT EM_LIMITTEXT
#define EM_GETLIMITTEXT 0x00D5

#define SS_LEFT 0x0000L
#define SS_CENTER 0x0001L
#define SS_RIGHT 0x0002L

#define CBS_SIMPLE 0x0001L
#define CBS_DROPDOWN 0x0002L
#define CBS_DROPDOWNLIST 0x0003L
#define CBN_SELCHANGE 1
#define CB_ERR (-1)
#define CB_ADDSTRING 0x0143
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_GETLBTEXTLEN 0x0149
#define CB_SETCURSEL 0x014E
#define CB_GETITEMDATA 0x0150
#define CB_SETITEMDATA 0x0151

#define UPDOWN_CLASSA "msctls_updown32"
#define UDS_WRAP 0x0001L
#define UDS_SETBUDDYINT 0x0002L
#define UDS_ALIGNRIGHT 0x0004L
#define UDS_ALIGNLEFT 0x0008L
#define UDS_AUTOBUDDY 0x0010L
#define UDS_ARROWKEYS 0x0020L
#define UDS_HORZ 0x0040L
#define UDS_NOTHOUSANDS 0x0080L
#define UDM_SETRANGE (WM_USER + 101)
#define UDM_GETRANGE (WM_USER + 102)
#define UDM_SETPOS (WM_USER + 103)
#define UDM_GETPOS (WM_USER + 104)
#define UDM_SETBUDDY (WM_USER + 105)
#define UDM_GETBUDDY (WM_USER + 106)

#define HWND_TOP ((HWND)0)
#define SWP_NOSIZE 0x0001u
#define SWP_NOMOVE 0x0002u
#define SWP_NOZORDER 0x0004u
#define SWP_NOREDRAW 0x0008u
#define SWP_NOACTIVATE 0x0010u

INT_PTR DialogBoxParamA(HINSTANCE inst, LPCSTR templateName, HWND owner, DLGPROC proc,
                        LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND window);
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buf, int bufMax);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
/* As Windows: blanks around the number are allowed, anything else (or a
 * number out of range) gives 0 with *translated FALSE. */
UINT GetDlgItemInt(HWND dialog, int id, BOOL *translated, BOOL isSigned);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SetWindowTextA(HWND window, LPCSTR text);
int GetWindowTextA(HWND window, LPSTR buf, int bufMax);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
BOOL IsWindow(HWND window);
HWND SetFocus(HWND window);
HWND GetFocus(void);
BOOL SetForegroundWindow(HWND window);
HWND GetForegroundWindow(void);
HWND GetParent(HWND window);
HWND GetDesktopWindow(void);
BOOL GetWindowRect(HWND window, LPRECT rect);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);

/* ---- common dialogs: file open ---- */
typedef UINT_PTR(CALLBACK *LPOFNHOOKPROC)(HWND, UINT, WPARAM, LPARAM);
typedef struct tagOFNA {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCSTR lpstrFilter;
  LPSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  LPSTR lpstrFile;
  DWORD nMaxFile;
  LPSTR lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCSTR lpstrInitialDir;
  LPCSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCSTR lpstrDefExt;
  LPARAM lCustData;
  LPOFNHOOKPROC lpfnHook;
  LPCSTR lpTemplateName;
  /* Windows 2000 on; never read by the stand-in. */
  void *pvReserved;
  DWORD dwReserved;
  DWORD FlagsEx;
} OPENFILENAMEA, *LPOPENFILENAMEA;
/* The record without the Windows 2000 fields. GetOpenFileNameA accepts
 * lStructSize 76 (that size on the 32-bit host), this one and the full
 * sizeof. */
#define OPENFILENAME_SIZE_VERSION_400A offsetof(OPENFILENAMEA, pvReserved)
#define OFN_READONLY 0x00000001u
#define OFN_OVERWRITEPROMPT 0x00000002u
#define OFN_HIDEREADONLY 0x00000004u
#define OFN_NOCHANGEDIR 0x00000008u
#define OFN_PATHMUSTEXIST 0x00000800u
#define OFN_FILEMUSTEXIST 0x00001000u
#define OFN_NONETWORKBUTTON 0x00020000u
#define OFN_EXPLORER 0x00080000u
#define CDERR_STRUCTSIZE 0x0001u
#define CDERR_DIALOGFAILURE 0xFFFFu
#define FNERR_BUFFERTOOSMALL 0x3003u
/* The user's answer comes from StandinSetOpenFileScript; without a script
 * the user cancels. The file's existence is not checked. */
BOOL GetOpenFileNameA(LPOPENFILENAMEA request);
DWORD CommDlgExtendedError(void);

extern "C" {
/* The test's part of a dialog: called once the dialog has handled
 * WM_INITDIALOG (not when it ended there), for every dialog, until replaced;
 * NULL removes it. */
typedef void (*StandinDialogScript)(HWND dialog, void *context);
void StandinSetDialogScript(StandinDialogScript script, void *context);

/* The user's actions. Each returns TRUE when it reached the dialog, FALSE
 * when the dialog has ended or the control is missing, disabled or of
 * another kind. */
/* A button or check box: focus, then an automatic box changes state, then
 * WM_COMMAND (id, BN_CLICKED). */
BOOL StandinClick(HWND dialog, int id);
/* Replaces the text of an editable edit control (cut to its limit): focus,
 * then one WM_COMMAND (id, EN_CHANGE). */
BOOL StandinType(HWND dialog, int id, const char *text);
/* Picks entry `index` of a combo box: WM_COMMAND (id, CBN_SELCHANGE). */
BOOL StandinSelect(HWND dialog, int id, int index);
/* One press of an up-down control's up (up != 0) or down arrow: moves the
 * position one step towards the upper (lower) end of the range, from the
 * buddy's number when UDS_SETBUDDYINT; at the end it wraps with UDS_WRAP and
 * stays without. Then the buddy shows the number (UDS_SETBUDDYINT) and the
 * dialog gets WM_VSCROLL (WM_HSCROLL with UDS_HORZ), SB_THUMBPOSITION. */
BOOL StandinSpin(HWND dialog, int id, int up);
/* Esc: WM_COMMAND (IDCANCEL) with the Cancel button's handle, if any. */
BOOL StandinPressEscape(HWND dialog);
/* Enter: a focused push button, else the default push button (when
 * enabled), else IDOK. */
BOOL StandinPressEnter(HWND dialog);
/* The close box (only with WS_SYSMENU): WM_CLOSE; when the procedure leaves
 * it, WM_COMMAND (IDCANCEL), unless a Cancel button is disabled. */
BOOL StandinPressCloseBox(HWND dialog);

/* Observation. These also read the last dialog after it has ended (until
 * the next one ends), when Win32 calls no longer accept it. */
struct StandinDialogState {
  int templateId;   /* -1 for a template given by name */
  BOOL ended;       /* EndDialog was called */
  INT_PTR result;   /* ...with this result */
  RECT rect;        /* window rectangle on the screen */
  HWND owner;
  HWND focus;       /* the focused control, NULL if none of the dialog's */
  BOOL foreground;  /* it is (or was at its end) the foreground window */
  int moves;        /* SetWindowPos/MoveWindow calls that moved or sized it */
  int repaints;     /* ...of which asked for a repaint */
};
BOOL StandinGetDialogState(HWND dialog, StandinDialogState *state);
struct StandinControlState {
  DWORD style;
  BOOL enabled;
  int check;       /* BST_* of a button */
  int selection;   /* combo box: selected entry or CB_ERR */
  int count;       /* combo box: entries */
  int position;    /* up-down */
  int lower, upper;
  HWND buddy;
  int limit;       /* edit: the most characters a user can type */
};
BOOL StandinGetControlState(HWND dialog, int id, StandinControlState *state);
/* The control's text (a combo box's: its selected entry) as
 * GetDlgItemTextA gives it; the full length, or -1 without such control. */
int StandinGetControlText(HWND dialog, int id, char *buf, int bufMax);
/* The dialog most recently created, live or ended; NULL before any. */
HWND StandinLastDialog(void);
/* Dialogs created so far (templates found, WM_INITDIALOG sent). */
long StandinDialogsCreated(void);
/* Template id of the last DialogBoxParamA call, created or not (-1 for
 * none yet or a name). */
int StandinLastDialogRequest(void);

/* Steering. */
/* Every DialogBoxParamA fails (-1, ERROR_NOT_ENOUGH_MEMORY) while set. */
void StandinFailDialogCreation(int fail);
/* Whether the host registered the common controls' up-down class (default
 * yes); without it templates that use the class cannot be created. */
void StandinSetUpDownClassRegistered(int registered);
void StandinSetDesktopSize(int width, int height);
/* A top-level window of the host, usable as an owner. */
HWND StandinCreateHostWindow(int left, int top, int right, int bottom);
void StandinDestroyHostWindow(HWND window);
/* The user's answer to a file-open dialog: a path to pick, or NULL to
 * cancel. The request is the caller's record, readable for checks. */
typedef const char *(*StandinOpenFileScript)(const OPENFILENAMEA *request, void *context);
void StandinSetOpenFileScript(StandinOpenFileScript script, void *context);
long StandinOpenFileDialogsShown(void);
/* Back to the start: no scripts, hooks off, 1024 x 768, the ended dialog
 * forgotten. Counters keep running. */
void StandinResetDialogs(void);
}

/* ---- display ---- */
/* GetDC(NULL) gives a DC of the screen, GetDC of a live window one of that
 * window (another: NULL, ERROR_INVALID_WINDOW_HANDLE). ReleaseDC answers 1
 * for a DC handed out and not yet released, else 0. */
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
/* The display's colour profile, set by StandinSetDisplayProfile; without one
 * FALSE, as Wine answers on a display with none. A buffer too small, or
 * none: FALSE, ERROR_INSUFFICIENT_BUFFER and *size the length needed, the
 * terminator included (Windows' documentation answers TRUE without a buffer;
 * Wine answers FALSE, so callers must not rely on either). Copied: TRUE and
 * *size the length used. An unknown DC or no size: ERROR_INVALID_PARAMETER. */
BOOL GetICMProfileA(HDC dc, LPDWORD size, LPSTR name);

/* ---- test hooks ---- */
extern "C" {
/* Number of local-memory blocks allocated and not yet freed. */
long StandinLiveLocalBlocks(void);
/* Bytes allocated by LocalAlloc and HeapAlloc since the process began. */
long long StandinAllocatedBytes(void);
/* Lock count of a local-memory block (-1 for an invalid handle). */
int StandinLocalLockCount(HLOCAL mem);
/* Make the n-th LocalAlloc from now fail (1 = the next one); 0 disables. */
void StandinFailLocalAllocAt(long n);
/* The same for HeapAlloc on the process heap (libjpeg's memory). */
void StandinFailHeapAllocAt(long n);
/* LocalAlloc, HeapAlloc and VirtualAlloc refuse a block above
 * `largestBlock` bytes, and one that would take the bytes live in them
 * above `total` (counted from this call on); 0: no limit. */
void StandinLimitAddressSpace(size_t largestBlock, size_t total);
/* The free space GetDiskFreeSpaceExA reports; -1: the file system's. */
void StandinSetFreeDiskSpace(long long bytes);
/* Platform id reported by GetVersionExA; -1 makes the query fail. Default
 * VER_PLATFORM_WIN32_NT. */
void StandinSetPlatformId(long id);
/* Make every TlsAlloc fail (TLS_OUT_OF_INDEXES) while `fail` is non-zero, as
 * in a process whose slots are all taken. */
void StandinFailTlsAlloc(int fail);
/* Make every registry open or create fail with ERROR_ACCESS_DENIED. */
void StandinSetRegistryDenied(int denied);
/* Number of open file handles (leak checks). */
long StandinOpenFiles(void);
/* The path GetICMProfileA answers for every DC; NULL (the default) makes it
 * fail, as for a display without a profile. */
void StandinSetDisplayProfile(const char *path);
/* Number of DCs handed out by GetDC and not yet released (leak checks). */
long StandinLiveDCs(void);
/* The folder below which registry and Windows folder live (no trailing /). */
const char *StandinRootFolder(void);
/* A module record for the running program itself: its string table is the
 * one the executable exports (link with -rdynamic). */
HMODULE StandinSelfModule(void);
/* dlerror() text of this thread's last failed LoadLibraryA ("" if none). */
const char *StandinLastLoadError(void);
}

/* A module's string table, exported as `StandinStringTable` (an array of
 * entries ending with text == nullptr). Texts are the bytes LoadStringA gives
 * (Shift_JIS for Japanese ones). */
struct StandinString {
  UINT id;
  const char *text;
};

/* A module's dialog templates, exported as `StandinDialogTable`: for each
 * template a StandinDialogBegin (or StandinDialogExBegin, an extended
 * template) entry, one StandinDialogControl entry per control in tab order
 * and a StandinDialogEnd entry; an entry of kind StandinTableEnd closes the
 * table. Texts are the bytes GetDlgItemTextA gives (Shift_JIS for Japanese
 * ones). */
enum StandinDialogEntryKind {
  StandinTableEnd = 0,
  StandinDialogBegin,
  StandinDialogExBegin,
  StandinDialogControl,
  StandinDialogEnd
};
struct StandinDialogEntry {
  int kind;
  int id;                /* template id, or control id (-1: none) */
  const char *text;      /* caption, or control text */
  const char *className; /* control class */
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;    /* dialog units */
  WORD pointSize;        /* dialog font */
  const char *font;
};

#endif /* MOVRELA_STANDIN_WIN32_H */
