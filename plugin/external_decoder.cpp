/*
 * external_decoder.cpp - finding, loading and switching the wrapped JPEG
 * plug-in that decodes pictures for us.
 */
#include "plugin/external_decoder.h"

#include <cstring>

#include "plugin/module.h"
#include "resources/resource.h"
#include "settings/settings.h"

ExternalDecoder g_externalDecoder;

namespace {

/* The exports every plug-in of the host's family has, looked up in order. */
const char *const kExportNames[] = {"GetPluginInfo", "IsSupported", "GetPictureInfo", "GetPicture",
                                    "GetPreview"};

template <typename F>
F ProcAs(FARPROC proc) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

/* The host's plug-in folder joined with `name`, when the two fit a path;
 * empty when there is no folder or the path would be too long. */
void JoinWithPluginFolder(const char *name, char *path, size_t size) {
  char key[kSettingNameBuffer];
  char value[kSettingNameBuffer];
  char folder[kSettingTextBuffer] = "";
  LoadStringA(g_module.instance, IDS_HOST_PLUGIN_KEY, key, sizeof key);
  LoadStringA(g_module.instance, IDS_HOST_PLUGIN_PATH, value, sizeof value);
  ReadSetting(HKEY_CURRENT_USER, key, value, SettingText, folder);
  path[0] = 0;
  if (folder[0] == 0) return;
  size_t folderLength = std::strlen(folder);
  size_t nameLength = std::strlen(name);
  if (folderLength + 1 + nameLength >= size) return; /* too long: try the name alone */
  std::memcpy(path, folder, folderLength);
  path[folderLength] = '\\';
  std::memcpy(path + folderLength + 1, name, nameLength + 1);
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
}

HMODULE LoadExternalDecoder(const char *name) {
  char path[MAX_PATH];
  JoinWithPluginFolder(name, path, sizeof path);
  HMODULE module = path[0] ? LoadLibraryA(path) : nullptr;
  if (module == nullptr) module = LoadLibraryA(name);
  if (module == nullptr) return nullptr;

  std::strncpy(g_externalDecoder.loadedName, name, sizeof g_externalDecoder.loadedName - 1);
  g_externalDecoder.loadedName[sizeof g_externalDecoder.loadedName - 1] = 0;
  g_externalDecoder.module = module;
  FARPROC entries[5];
  for (int i = 0; i < 5; ++i) {
    entries[i] = GetProcAddress(module, kExportNames[i]);
    if (entries[i] == nullptr) {
      FreeLibrary(module);
      ClearExternalDecoder();
      return nullptr;
    }
  }
  g_externalDecoder.GetPluginInfo = ProcAs<ExternalGetPluginInfo>(entries[0]);
  g_externalDecoder.IsSupported = ProcAs<ExternalIsSupported>(entries[1]);
  g_externalDecoder.GetPictureInfo = ProcAs<ExternalGetPictureInfo>(entries[2]);
  g_externalDecoder.GetPicture = ProcAs<ExternalGetPicture>(entries[3]);
  g_externalDecoder.GetPreview = ProcAs<ExternalGetPicture>(entries[4]);
  return module;
}

void UnloadExternalDecoder() {
  if (g_externalDecoder.module) FreeLibrary(g_externalDecoder.module);
  ClearExternalDecoder();
}

HMODULE SwitchExternalDecoder(const char *name) {
  if (lstrcmpiA(name, g_externalDecoder.loadedName) == 0) return g_externalDecoder.module;
  UnloadExternalDecoder();
  return LoadExternalDecoder(name);
}
