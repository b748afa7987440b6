/*
 * modules.cpp - LoadLibraryA, GetProcAddress, FreeLibrary, GetModuleFileNameA
 * and LoadStringA over dlopen.
 *
 * An HMODULE points at a StandinModule record; records of loaded modules are
 * kept in a table (a recursive mutex plays Win32's loader lock, so DllMain
 * may call back into these functions). As on Win32, GetProcAddress, DllMain
 * and the string table of a loaded module are looked up among the module's
 * own symbols only (not those of the libraries it depends on). The program's
 * own record (StandinSelfModule, and a NULL instance in LoadStringA) searches
 * dlopen(NULL)'s global scope: the executable's exports first.
 * No DLL_PROCESS_DETACH is sent for modules still loaded at process exit,
 * and no DLL_THREAD_ATTACH/DETACH at all.
 */
#include "internal.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <mutex>
#include <climits>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

struct StandinModule {
  void *dl;          /* dlopen handle */
  std::string path;  /* full path of the file */
  long references;   /* LoadLibraryA calls not yet freed */
  bool self;         /* the running program: never unloaded */
  struct link_map *map;
  const StandinString *strings = nullptr; /* its string table, once looked up */
  bool stringsLooked = false;
};

namespace {

typedef BOOL (*DllMainFn)(HINSTANCE, DWORD, LPVOID);

std::recursive_mutex g_loaderLock;
/* Never destroyed: modules still loaded at exit stay reachable, as on
 * Windows, where a process ends with its libraries loaded. */
std::vector<StandinModule *> &g_modules = *new std::vector<StandinModule *>;
thread_local std::string t_loadError;

StandinModule *Self() {
  static StandinModule *self = [] {
    auto *m = new StandinModule{::dlopen(nullptr, RTLD_NOW), std::string(), 1, true, nullptr};
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) m->path.assign(buf, static_cast<size_t>(n));
    return m;
  }();
  return self;
}

/* The record for `module` if it is live (NULL means the program). */
StandinModule *Resolve(HMODULE module) {
  if (!module) return Self();
  if (module == Self()) return module;
  return std::find(g_modules.begin(), g_modules.end(), module) != g_modules.end() ? module
                                                                                  : nullptr;
}

/* A symbol of the module (for a loaded module: defined in that file). */
void *FindSymbol(StandinModule *m, const char *name) {
  void *sym = ::dlsym(m->dl, name);
  if (!sym || m->self) return sym;
  Dl_info info;
  struct link_map *owner = nullptr;
  if (!::dladdr1(sym, &info, reinterpret_cast<void **>(&owner), RTLD_DL_LINKMAP) || owner != m->map)
    return nullptr;
  return sym;
}

void CallDllMain(StandinModule *m, DWORD reason) {
  if (void *entry = FindSymbol(m, "DllMain"))
    reinterpret_cast<DllMainFn>(entry)(m, reason, nullptr);
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR name) {
  if (!name || !*name) {
    t_loadError = "empty module name";
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string path = standin::NativePath(name);
  std::vector<std::string> candidates;
  if (path.find('/') == std::string::npos) candidates.push_back("./" + path);
  candidates.push_back(path);

  std::lock_guard<std::recursive_mutex> lock(g_loaderLock);
  void *dl = nullptr;
  std::string errors;
  for (const std::string &candidate : candidates) {
    dl = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (dl) break;
    const char *err = ::dlerror();
    if (!errors.empty()) errors += "; ";
    errors += err ? err : candidate;
  }
  if (!dl) {
    t_loadError = errors;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  t_loadError.clear();
  for (StandinModule *m : g_modules) {
    if (m->dl == dl) {
      ::dlclose(dl); /* each record holds exactly one dlopen reference */
      ++m->references;
      return m;
    }
  }
  auto *m = new StandinModule{dl, path, 1, false, nullptr};
  if (::dlinfo(dl, RTLD_DI_LINKMAP, &m->map) == 0 && m->map && m->map->l_name &&
      *m->map->l_name) {
    char resolved[PATH_MAX];
    m->path = ::realpath(m->map->l_name, resolved) ? resolved : m->map->l_name;
  }
  g_modules.push_back(m);
  if (void *entry = FindSymbol(m, "DllMain")) {
    if (!reinterpret_cast<DllMainFn>(entry)(m, DLL_PROCESS_ATTACH, nullptr)) {
      /* As Win32: a failed attach is followed by a detach, then unloading. */
      reinterpret_cast<DllMainFn>(entry)(m, DLL_PROCESS_DETACH, nullptr);
      g_modules.erase(std::find(g_modules.begin(), g_modules.end(), m));
      ::dlclose(dl);
      delete m;
      t_loadError = "DllMain returned FALSE";
      SetLastError(ERROR_DLL_INIT_FAILED);
      return nullptr;
    }
  }
  return m;
}

HMODULE LoadLibraryExA(LPCSTR name, HANDLE, DWORD) { return LoadLibraryA(name); }

namespace {

UINT CopyFolder(const std::string &folder, LPSTR buf, UINT size) {
  if (!buf || folder.size() >= size) return static_cast<UINT>(folder.size() + 1);
  std::memcpy(buf, folder.c_str(), folder.size() + 1);
  return static_cast<UINT>(folder.size());
}

}  // namespace

UINT GetWindowsDirectoryA(LPSTR buf, UINT size) {
  return CopyFolder(standin::RootFolder() + "/windows", buf, size);
}

UINT GetSystemDirectoryA(LPSTR buf, UINT size) {
  return CopyFolder(standin::RootFolder() + "/windows/system32", buf, size);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  std::lock_guard<std::recursive_mutex> lock(g_loaderLock);
  StandinModule *m = Resolve(module);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!name || HIWORD(name) == 0) { /* ordinals are not supported */
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void *sym = FindSymbol(m, name);
  if (!sym) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(sym);
}

BOOL FreeLibrary(HMODULE module) {
  std::lock_guard<std::recursive_mutex> lock(g_loaderLock);
  StandinModule *m = module ? Resolve(module) : nullptr;
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (m->self) return TRUE;
  if (--m->references > 0) return TRUE;
  CallDllMain(m, DLL_PROCESS_DETACH);
  g_modules.erase(std::find(g_modules.begin(), g_modules.end(), m));
  ::dlclose(m->dl);
  delete m;
  return TRUE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buf, DWORD size) {
  std::string path;
  {
    std::lock_guard<std::recursive_mutex> lock(g_loaderLock);
    StandinModule *m = Resolve(module);
    if (!m) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    path = m->path;
  }
  if (!buf || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() < size) {
    std::memcpy(buf, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
  }
  /* Too small: truncated and terminated, returns size (Windows Vista on). */
  std::memcpy(buf, path.data(), size - 1);
  buf[size - 1] = '\0';
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

int LoadStringA(HINSTANCE inst, UINT id, LPSTR buf, int bufMax) {
  if (!buf || bufMax <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  buf[0] = '\0';
  std::lock_guard<std::recursive_mutex> lock(g_loaderLock);
  StandinModule *m = Resolve(inst);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  /* The symbol lookup is costly and the table never moves: look once. */
  if (!m->stringsLooked) {
    m->strings = static_cast<const StandinString *>(FindSymbol(m, "StandinStringTable"));
    m->stringsLooked = true;
  }
  const StandinString *table = m->strings;
  if (!table) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
  }
  for (const StandinString *entry = table; entry->text; ++entry) {
    if (entry->id != id) continue;
    size_t length = std::strlen(entry->text);
    if (length == 0) break; /* an empty string counts as absent, as on Win32 */
    size_t copied = std::min(length, static_cast<size_t>(bufMax - 1));
    std::memcpy(buf, entry->text, copied);
    buf[copied] = '\0';
    return static_cast<int>(copied);
  }
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return 0;
}

extern "C" HMODULE StandinSelfModule(void) { return Self(); }

extern "C" const char *StandinLastLoadError(void) { return t_loadError.c_str(); }
