/*
 * win32.h - native stand-in of the Win32 subset used by the plug-in.
 *
 * Declares the types, constants and functions the product calls, with the
 * Win32 names and semantics, implemented over POSIX in libwin32standin.
 * Also declares the Standin* hooks that tests use to observe and steer the
 * stand-in (live local blocks, platform id, failure injection).
 *
 * State that Windows keeps per user (registry, profile files in the Windows
 * directory) lives below the folder named by the environment variable
 * MOVRELA_WINROOT, read at every call, so each test can use a folder of its
 * own. Without it the folder is $HOME/.movrela-winroot.
 */
#ifndef MOVRELA_STANDIN_WIN32_H
#define MOVRELA_STANDIN_WIN32_H

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
#define FILE_ATTRIBUTE_NORMAL 0x80u
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

/* File handles are small values (below 0x10000), as Win32's are. Backslashes
 * in names are taken as path separators. */
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                   DWORD disposition, DWORD flags, HANDLE templ);
BOOL ReadFile(HANDLE file, LPVOID buf, DWORD toRead, LPDWORD read, LPOVERLAPPED ov);
BOOL WriteFile(HANDLE file, LPCVOID buf, DWORD toWrite, LPDWORD written, LPOVERLAPPED ov);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
DWORD GetFileSize(HANDLE file, LPDWORD high);
BOOL CloseHandle(HANDLE object);

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

/* ---- critical sections ---- */
typedef struct _CRITICAL_SECTION {
  void *impl; /* a recursive mutex, created by InitializeCriticalSection */
} CRITICAL_SECTION, *LPCRITICAL_SECTION;
void InitializeCriticalSection(LPCRITICAL_SECTION cs);
void EnterCriticalSection(LPCRITICAL_SECTION cs);
void LeaveCriticalSection(LPCRITICAL_SECTION cs);
void DeleteCriticalSection(LPCRITICAL_SECTION cs);

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
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
DWORD GetModuleFileNameA(HMODULE module, LPSTR buf, DWORD size);

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
LONG RegDeleteTreeA(HKEY key, LPCSTR subKey);
LONG RegCloseKey(HKEY key);

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

/* ---- test hooks ---- */
extern "C" {
/* Number of local-memory blocks allocated and not yet freed. */
long StandinLiveLocalBlocks(void);
/* Lock count of a local-memory block (-1 for an invalid handle). */
int StandinLocalLockCount(HLOCAL mem);
/* Make the n-th LocalAlloc from now fail (1 = the next one); 0 disables. */
void StandinFailLocalAllocAt(long n);
/* Platform id reported by GetVersionExA; -1 makes the query fail. Default
 * VER_PLATFORM_WIN32_NT. */
void StandinSetPlatformId(long id);
/* Make every registry open or create fail with ERROR_ACCESS_DENIED. */
void StandinSetRegistryDenied(int denied);
/* Number of open file handles (leak checks). */
long StandinOpenFiles(void);
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

#endif /* MOVRELA_STANDIN_WIN32_H */
