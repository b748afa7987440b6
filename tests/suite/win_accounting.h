/*
 * win_accounting.h - on Windows, what the plug-in and the external decoder
 * it loads leave behind: their calls to LocalAlloc/LocalFree,
 * HeapAlloc/HeapFree and CreateFileA/CloseHandle are counted by patching
 * the modules' import tables. A module the plug-in loads with LoadLibraryA
 * is patched as it arrives, before any of its code runs a request.
 *
 * The host frees the blocks it is handed with its own import, so it reports
 * each such free with HostFreed(). LiveBlocks() then matches what the
 * native stand-in's StandinLiveLocalBlocks() (plus library memory) tells.
 */
#ifndef MOVRELA_TEST_WIN_ACCOUNTING_H
#define MOVRELA_TEST_WIN_ACCOUNTING_H

#ifdef _WIN32
#include <windows.h>

#include <cstring>
#include <set>

namespace winacct {

struct State {
  volatile LONG local = 0, heap = 0;
  long long bytes = 0; /* allocated since the start, under `lock` */
  CRITICAL_SECTION lock;
  std::set<HANDLE> files;
  HLOCAL(WINAPI *localAlloc)(UINT, SIZE_T) = nullptr;
  HLOCAL(WINAPI *localFree)(HLOCAL) = nullptr;
  LPVOID(WINAPI *heapAlloc)(HANDLE, DWORD, SIZE_T) = nullptr;
  BOOL(WINAPI *heapFree)(HANDLE, DWORD, LPVOID) = nullptr;
  HANDLE(WINAPI *createFile)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) = nullptr;
  BOOL(WINAPI *closeHandle)(HANDLE) = nullptr;
  HMODULE(WINAPI *loadLibrary)(LPCSTR) = nullptr;
  HMODULE(WINAPI *loadLibraryEx)(LPCSTR, HANDLE, DWORD) = nullptr;
  State() {
    InitializeCriticalSection(&lock);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    localAlloc = reinterpret_cast<decltype(localAlloc)>(reinterpret_cast<void *>(GetProcAddress(kernel, "LocalAlloc")));
    localFree = reinterpret_cast<decltype(localFree)>(reinterpret_cast<void *>(GetProcAddress(kernel, "LocalFree")));
    heapAlloc = reinterpret_cast<decltype(heapAlloc)>(reinterpret_cast<void *>(GetProcAddress(kernel, "HeapAlloc")));
    heapFree = reinterpret_cast<decltype(heapFree)>(reinterpret_cast<void *>(GetProcAddress(kernel, "HeapFree")));
    createFile = reinterpret_cast<decltype(createFile)>(reinterpret_cast<void *>(GetProcAddress(kernel, "CreateFileA")));
    closeHandle = reinterpret_cast<decltype(closeHandle)>(reinterpret_cast<void *>(GetProcAddress(kernel, "CloseHandle")));
    loadLibrary = reinterpret_cast<decltype(loadLibrary)>(reinterpret_cast<void *>(GetProcAddress(kernel, "LoadLibraryA")));
    loadLibraryEx = reinterpret_cast<decltype(loadLibraryEx)>(reinterpret_cast<void *>(GetProcAddress(kernel, "LoadLibraryExA")));
  }
};

inline State &Get() {
  static State state;
  return state;
}

void Patch(HMODULE module);

inline void CountBytes(SIZE_T bytes) {
  EnterCriticalSection(&Get().lock);
  Get().bytes += static_cast<long long>(bytes);
  LeaveCriticalSection(&Get().lock);
}

inline long long AllocatedBytes() {
  EnterCriticalSection(&Get().lock);
  long long n = Get().bytes;
  LeaveCriticalSection(&Get().lock);
  return n;
}

inline HLOCAL WINAPI CountedLocalAlloc(UINT flags, SIZE_T bytes) {
  HLOCAL h = Get().localAlloc(flags, bytes);
  if (h) {
    InterlockedIncrement(&Get().local);
    CountBytes(bytes);
  }
  return h;
}
inline HLOCAL WINAPI CountedLocalFree(HLOCAL h) {
  HLOCAL result = Get().localFree(h);
  if (h && !result) InterlockedDecrement(&Get().local);
  return result;
}
inline LPVOID WINAPI CountedHeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  LPVOID p = Get().heapAlloc(heap, flags, bytes);
  if (p) {
    InterlockedIncrement(&Get().heap);
    CountBytes(bytes);
  }
  return p;
}
inline BOOL WINAPI CountedHeapFree(HANDLE heap, DWORD flags, LPVOID p) {
  BOOL ok = Get().heapFree(heap, flags, p);
  if (p && ok) InterlockedDecrement(&Get().heap);
  return ok;
}
inline HANDLE WINAPI CountedCreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                                       DWORD disposition, DWORD attributes, HANDLE model) {
  HANDLE h = Get().createFile(name, access, share, sa, disposition, attributes, model);
  if (h != INVALID_HANDLE_VALUE) {
    EnterCriticalSection(&Get().lock);
    Get().files.insert(h);
    LeaveCriticalSection(&Get().lock);
  }
  return h;
}
inline BOOL WINAPI CountedCloseHandle(HANDLE h) {
  /* Forget the handle first: once closed, another thread may get it back. */
  EnterCriticalSection(&Get().lock);
  Get().files.erase(h);
  LeaveCriticalSection(&Get().lock);
  return Get().closeHandle(h);
}
inline HMODULE WINAPI CountedLoadLibrary(LPCSTR name) {
  HMODULE module = Get().loadLibrary(name);
  if (module) Patch(module);
  return module;
}
inline HMODULE WINAPI CountedLoadLibraryEx(LPCSTR name, HANDLE file, DWORD flags) {
  HMODULE module = Get().loadLibraryEx(name, file, flags);
  if (module) Patch(module);
  return module;
}

/* Points the module's KERNEL32 imports of the counted functions at the
 * counting ones. */
inline void Patch(HMODULE module) {
  struct Hook {
    const char *name;
    void *counted;
  } const hooks[] = {
      {"LocalAlloc", reinterpret_cast<void *>(CountedLocalAlloc)},
      {"LocalFree", reinterpret_cast<void *>(CountedLocalFree)},
      {"HeapAlloc", reinterpret_cast<void *>(CountedHeapAlloc)},
      {"HeapFree", reinterpret_cast<void *>(CountedHeapFree)},
      {"CreateFileA", reinterpret_cast<void *>(CountedCreateFile)},
      {"CloseHandle", reinterpret_cast<void *>(CountedCloseHandle)},
      {"LoadLibraryA", reinterpret_cast<void *>(CountedLoadLibrary)},
      {"LoadLibraryExA", reinterpret_cast<void *>(CountedLoadLibraryEx)},
  };
  Get();
  BYTE *base = reinterpret_cast<BYTE *>(module);
  const IMAGE_DOS_HEADER *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  const IMAGE_NT_HEADERS *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress) return;
  for (const IMAGE_IMPORT_DESCRIPTOR *d =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress);
       d->Name; ++d) {
    if (lstrcmpiA(reinterpret_cast<const char *>(base + d->Name), "KERNEL32.dll") != 0) continue;
    if (!d->OriginalFirstThunk) continue;
    const IMAGE_THUNK_DATA *names = reinterpret_cast<const IMAGE_THUNK_DATA *>(base + d->OriginalFirstThunk);
    IMAGE_THUNK_DATA *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const IMAGE_IMPORT_BY_NAME *byName =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
      for (const Hook &hook : hooks) {
        if (std::strcmp(reinterpret_cast<const char *>(byName->Name), hook.name) != 0) continue;
        DWORD old;
        VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
        slots->u1.Function = reinterpret_cast<ULONG_PTR>(hook.counted);
        VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
      }
    }
  }
}

/* The host freed a local block the plug-in handed over. */
inline void HostFreed() { InterlockedDecrement(&Get().local); }

inline long LiveBlocks() { return Get().local + Get().heap; }

inline long OpenFiles() {
  EnterCriticalSection(&Get().lock);
  long n = static_cast<long>(Get().files.size());
  LeaveCriticalSection(&Get().lock);
  return n;
}

}  // namespace winacct

#endif /* _WIN32 */
#endif /* MOVRELA_TEST_WIN_ACCOUNTING_H */
