/*
 * external_decoder.cpp - finding, loading and switching the wrapped JPEG
 * plug-in that decodes pictures for us, and keeping it loaded while
 * requests run inside it.
 *
 * Only folders that a legitimate installation uses are searched: a file of
 * the decoder's name planted beside the pictures (the current folder) or
 * along PATH is never loaded.
 */
#include "plugin/external_decoder.h"

#include <cstring>

#include "base/module_state.h"
#include "plugin/exports.h"
#include "settings/settings.h"

ExternalDecoder g_externalDecoder;

namespace {

/* The exports every plug-in of the host's family has, looked up in order. */
const char *const kExportNames[] = {"GetPluginInfo", "IsSupported", "GetPictureInfo", "GetPicture",
                                    "GetPreview"};

/* Modules switched away from while requests were still inside them; each is
 * freed when its last request returns. Should all slots be taken, a further
 * such module is never freed: kept loaded is safe, freed under a running
 * request is not. */
struct RetiredDecoder {
  HMODULE module; /* null: a free slot */
  int32_t users;
  uint32_t generation;
};
constexpr int kRetiredSlots = 16;
RetiredDecoder g_retired[kRetiredSlots];

/* Holds DecoderLock for the lifetime of the object. No jump ever crosses
 * the frames that use it. */
struct DecoderLockGuard {
  DecoderLockGuard() { EnterModuleLock(ModuleLock::Decoder); }
  ~DecoderLockGuard() { LeaveModuleLock(ModuleLock::Decoder); }
  DecoderLockGuard(const DecoderLockGuard &) = delete;
  DecoderLockGuard &operator=(const DecoderLockGuard &) = delete;
};

template <typename F>
F ProcAs(FARPROC proc) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

/* A path that names its file without the current folder or drive: "C:\...",
 * or a UNC path. One that starts at a root ("\tools\...") is not: it lies on
 * the current drive, where the pictures are. */
bool IsFullPath(const char *name) {
  if (IsSeparator(name[0])) return IsSeparator(name[1]);
  return IsDriveLetter(name[0]) && name[1] == ':' && IsSeparator(name[2]);
}

/* A bare file name: no folder and no drive in it. */
bool IsBareName(const char *name) {
  for (const char *c = name; *c; ++c)
    if (IsSeparator(*c) || *c == ':') return false;
  return true;
}

/* `folder` "\" `name` into `path`; false (path empty) when `folder` is empty
 * or the two do not fit. The separator is added even when the folder ends
 * with one, as the host's folder setting has always been joined. */
bool Join(const char *folder, const char *name, char *path, size_t size) {
  path[0] = 0;
  size_t folderLength = std::strlen(folder);
  size_t nameLength = std::strlen(name);
  if (folderLength == 0 || folderLength + 1 + nameLength >= size) return false;
  std::memcpy(path, folder, folderLength);
  path[folderLength] = '\\';
  std::memcpy(path + folderLength + 1, name, nameLength + 1);
  return true;
}

/* The folder of a loaded module's file (null: the host program). */
void ModuleFolder(HMODULE module, char *folder, DWORD size) {
  DWORD n = GetModuleFileNameA(module, folder, size);
  if (n == 0 || n >= size) n = 0;
  while (n > 0 && !IsSeparator(folder[n - 1])) --n;
  if (n > 0) --n; /* the separator itself */
  folder[n] = 0;
}

/* Loads the file at `path`, unless it is this plug-in itself. */
HMODULE LoadCandidate(const char *path) {
  if (path[0] == 0) return nullptr;
  HMODULE module = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module != nullptr && module == ModuleInstance()) {
    FreeLibrary(module); /* ourselves: would call itself without end */
    return nullptr;
  }
  return module;
}

/* Tries the places a decoder of that name may legitimately lie, in order. */
HMODULE LoadFromTrustedPlaces(const char *name) {
  char path[MAX_PATH];
  if (IsFullPath(name)) {
    if (std::strlen(name) >= sizeof path) return nullptr;
    return LoadCandidate(name);
  }
  /* A drive-relative name ("C:quorel.mqf") would depend on that drive's
   * current folder, and a rooted one ("\tools\quorel.mqf") lies on the
   * current drive: both count from the plug-in folder, as relative names
   * with folders in them do. */
  const char *relative = IsDriveLetter(name[0]) && name[1] == ':' ? name + 2 : name;
  while (IsSeparator(*relative)) ++relative;
  /* The plug-in folder counts only as a full path: a relative one would be
   * resolved against the current folder. */
  char folder[kSettingTextBuffer];
  LoadHostPluginFolder(folder);
  HMODULE module = nullptr;
  if (IsFullPath(folder) && Join(folder, relative, path, sizeof path))
    module = LoadCandidate(path);
  if (module != nullptr || !IsBareName(name)) return module;

  char place[MAX_PATH];
  for (int where = 0; where < 4 && module == nullptr; ++where) {
    place[0] = 0;
    switch (where) {
      case 0: ModuleFolder(ModuleInstance(), place, sizeof place); break;
      case 1: ModuleFolder(nullptr, place, sizeof place); break;
      case 2: if (GetSystemDirectoryA(place, sizeof place) >= sizeof place) place[0] = 0; break;
      case 3: if (GetWindowsDirectoryA(place, sizeof place) >= sizeof place) place[0] = 0; break;
    }
    if (Join(place, name, path, sizeof path)) module = LoadCandidate(path);
  }
  return module;
}

/* Whether the plug-in whose GetPluginInfo this is answers our own text for
 * index 1, exactly. The buffer has room for a longer text, so that one that
 * merely starts with ours is not taken for it. */
bool AnswersOurVersionText(GetPluginInfoFn info) {
  char text[256];
  std::memset(text, 0, sizeof text);
  info(1, text, sizeof text - 1);
  return std::strcmp(text, kPluginVersionText) == 0;
}

/* Where the module of `generation` goes when it leaves the record: freed
 * now when no request is inside it, else retired until the last one ends. */
void RetireModule(HMODULE module, int32_t users, uint32_t generation) {
  if (users == 0) {
    FreeLibrary(module);
    return;
  }
  for (RetiredDecoder &slot : g_retired) {
    if (slot.module == nullptr) {
      slot = {module, users, generation};
      return;
    }
  }
}

HMODULE LoadLocked(const char *name) {
  HMODULE module = LoadFromTrustedPlaces(name);
  if (module == nullptr) return nullptr;

  FARPROC entries[5];
  for (int i = 0; i < 5; ++i) {
    entries[i] = GetProcAddress(module, kExportNames[i]);
    if (entries[i] == nullptr) {
      FreeLibrary(module);
      ClearExternalDecoder();
      return nullptr;
    }
  }
  std::strncpy(g_externalDecoder.loadedName, name, sizeof g_externalDecoder.loadedName - 1);
  g_externalDecoder.loadedName[sizeof g_externalDecoder.loadedName - 1] = 0;
  g_externalDecoder.module = module;
  g_externalDecoder.GetPluginInfo = ProcAs<GetPluginInfoFn>(entries[0]);
  g_externalDecoder.IsSupported = ProcAs<IsSupportedFn>(entries[1]);
  g_externalDecoder.GetPictureInfo = ProcAs<GetPictureInfoFn>(entries[2]);
  g_externalDecoder.GetPicture = ProcAs<GetPictureFn>(entries[3]);
  g_externalDecoder.GetPreview = ProcAs<GetPictureFn>(entries[4]);
  g_externalDecoder.isCopy = AnswersOurVersionText(g_externalDecoder.GetPluginInfo);
  g_externalDecoder.users = 0;
  ++g_externalDecoder.generation;
  return module;
}

void UnloadLocked() {
  if (g_externalDecoder.module)
    RetireModule(g_externalDecoder.module, g_externalDecoder.users, g_externalDecoder.generation);
  ClearExternalDecoder();
}

}  // namespace

void ClearExternalDecoder() {
  g_externalDecoder.module = nullptr;
  g_externalDecoder.GetPluginInfo = nullptr;
  g_externalDecoder.IsSupported = nullptr;
  g_externalDecoder.GetPictureInfo = nullptr;
  g_externalDecoder.GetPicture = nullptr;
  g_externalDecoder.GetPreview = nullptr;
  g_externalDecoder.loadedName[0] = 0;
  g_externalDecoder.isCopy = false;
  g_externalDecoder.users = 0;
}

HMODULE LoadExternalDecoder(const char *name) {
  DecoderLockGuard lock;
  return LoadLocked(name);
}

void UnloadExternalDecoder() {
  DecoderLockGuard lock;
  UnloadLocked();
}

HMODULE SwitchExternalDecoder(const char *name) {
  DecoderLockGuard lock;
  if (lstrcmpiA(name, g_externalDecoder.loadedName) == 0) return g_externalDecoder.module;
  UnloadLocked();
  return LoadLocked(name);
}

bool HoldExternalDecoder(const char *name, bool preview, DecoderHold *hold) {
  DecoderLockGuard lock;
  if (!g_externalDecoder.GetPicture || !g_externalDecoder.GetPreview) {
    if (!LoadLocked(name)) return false;
  }
  hold->module = g_externalDecoder.module;
  hold->entry = preview ? g_externalDecoder.GetPreview : g_externalDecoder.GetPicture;
  hold->generation = g_externalDecoder.generation;
  hold->isCopy = g_externalDecoder.isCopy;
  ++g_externalDecoder.users;
  return true;
}

bool ExternalDecoderIsCopy() {
  DecoderLockGuard lock;
  return g_externalDecoder.module != nullptr && g_externalDecoder.isCopy;
}

void ReleaseExternalDecoder(const DecoderHold *hold) {
  HMODULE release = nullptr;
  {
    DecoderLockGuard lock;
    if (g_externalDecoder.module == hold->module &&
        g_externalDecoder.generation == hold->generation) {
      --g_externalDecoder.users;
      return;
    }
    for (RetiredDecoder &slot : g_retired) {
      if (slot.module == hold->module && slot.generation == hold->generation) {
        if (--slot.users == 0) {
          release = slot.module;
          slot.module = nullptr;
        }
        break;
      }
    }
  }
  if (release) FreeLibrary(release);
}
