/*
 * settings.cpp - loading and saving PluginSettings in the registry (under
 * HKEY_CURRENT_USER) or in "quorelv6.ini", and the host-language query.
 *
 * Key paths and value names come from the string table, loaded for every
 * read and write; the tables below fix the order of reading and writing.
 *
 * Registry mode keeps what it read in the module state's SettingsCache and
 * reads everything again, under the settings lock, only when the store watch
 * reports a change or we wrote a value ourselves: one kernel call per call
 * instead of a registry round trip per key, with the same answers. Every
 * call copies out under the lock, so no thread sees half a reload. INI mode
 * (Win32s, no notifications) reads the file at every call.
 */
#include "settings/settings.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/module_state.h"
#include "resources/resource.h"
#include "settings/store_watch.h"

namespace {

struct SettingEntry {
  UINT nameId;           /* string id of the value name */
  SettingKind kind;
  size_t offset;         /* field in PluginSettings */
  size_t fieldSize;      /* bytes of the field (texts: including terminator) */
  int32_t defaultNumber;
  const char *defaultText;
};

#define NUMBER_ENTRY(id, field, def) \
  {id, SettingNumber, offsetof(PluginSettings, field), sizeof(int32_t), def, nullptr}
#define TEXT_ENTRY(id, field, def) \
  {id, SettingText, offsetof(PluginSettings, field), sizeof(PluginSettings::field), 0, def}

const SettingEntry kMainEntries[] = {
    NUMBER_ENTRY(IDS_SEARCH_MARKER_SUPPORT, SearchMarkerSupport, 1),
    NUMBER_ENTRY(IDS_EXIF_SUPPORT, ExifSupport, 1),
    NUMBER_ENTRY(IDS_EXIF_PREVIEW_LEVEL, ExifPreviewLevel, 6),
    NUMBER_ENTRY(IDS_USER_DEFINE_EXTENTION, UserDefineExtention, 0),
    NUMBER_ENTRY(IDS_IGNORE_PIXEL_ASPECT_RATIO, IgnorePixelAspectRatio, 1),
    TEXT_ENTRY(IDS_EXTENTION_MASK, ExtentionMask, ""),
    NUMBER_ENTRY(IDS_USE_INTERNAL_DECODER, UseInternalDecoder, 1),
    TEXT_ENTRY(IDS_JPEG_PLUGIN, JPEGPlugin, "quorel.mqf"),
    NUMBER_ENTRY(IDS_DCT_METHOD, DCTMethod, 0),
    NUMBER_ENTRY(IDS_DITHER_MODE, DitherMode, 2),
    NUMBER_ENTRY(IDS_UP_SAMPLING, UpSampling, 1),
    NUMBER_ENTRY(IDS_COLOR_SELECT, ColorSelect, 0),
    NUMBER_ENTRY(IDS_PREVIEW_SIZE, PreviewSize, 4),
    NUMBER_ENTRY(IDS_REPORT_DIALOG, ReportDialog, 1),
    NUMBER_ENTRY(IDS_EXIF_ROTATION, ExifRotation, 1),
    NUMBER_ENTRY(IDS_COLOR_MANAGEMENT, ColorManagement, 1),
};

const SettingEntry kJ6iEntries[] = {
    NUMBER_ENTRY(IDS_J6I_SUPPORT, J6ISupport, 1),
    NUMBER_ENTRY(IDS_ASPECT_X, AspectX, 6),
    NUMBER_ENTRY(IDS_ASPECT_Y, AspectY, 5),
    NUMBER_ENTRY(IDS_TOP, Top, 0),
    NUMBER_ENTRY(IDS_BOTTOM, Bottom, 0),
    NUMBER_ENTRY(IDS_LEFT, Left, 0),
    NUMBER_ENTRY(IDS_RIGHT, Right, 0),
};

const SettingEntry kPmpEntries[] = {
    NUMBER_ENTRY(IDS_PMP_SUPPORT, PMPSupport, 1),
    NUMBER_ENTRY(IDS_ROTATION, Rotation, 1),
    NUMBER_ENTRY(IDS_COLOR_CORRECT, ColorCorrect, 1),
};

#undef NUMBER_ENTRY
#undef TEXT_ENTRY

struct SettingGroup {
  UINT keyId; /* string id of the key path */
  const SettingEntry *entries;
  size_t count;
};

const SettingGroup kGroups[] = {
    {IDS_KEY_MAIN, kMainEntries, sizeof kMainEntries / sizeof kMainEntries[0]},
    {IDS_KEY_J6I, kJ6iEntries, sizeof kJ6iEntries / sizeof kJ6iEntries[0]},
    {IDS_KEY_PMP, kPmpEntries, sizeof kPmpEntries / sizeof kPmpEntries[0]},
};

bool IsTextType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_LINK || type == REG_MULTI_SZ;
}

/* Reads one value of an open key into `destination`; a missing value or
 * one of the wrong kind leaves it untouched and gives 0. */
int QueryValue(HKEY key, LPCSTR valueName, SettingKind kind, void *destination) {
  /* Query into a scratch buffer first, so that a value of the wrong kind
   * leaves the caller's default untouched. A text keeps one byte free for
   * the terminator added below. */
  BYTE scratch[kSettingTextBuffer];
  DWORD type = REG_NONE;
  DWORD size = kind == SettingNumber ? sizeof(int32_t) : kSettingTextBuffer - 1;
  if (RegQueryValueExA(key, valueName, nullptr, &type, scratch, &size) != ERROR_SUCCESS) return 0;

  if (kind == SettingNumber) {
    if (type != REG_DWORD || size != sizeof(int32_t)) return 0;
    std::memcpy(destination, scratch, sizeof(int32_t));
  } else {
    if (!IsTextType(type)) return 0;
    scratch[size] = 0;
    std::memcpy(destination, scratch, size + 1);
  }
  return 1;
}

int ReadRegistry(HKEY root, LPCSTR keyPath, LPCSTR valueName, SettingKind kind,
                 void *destination) {
  HKEY key;
  if (RegOpenKeyExA(root, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  int found = QueryValue(key, valueName, kind, destination);
  RegCloseKey(key);
  return found;
}

/* The profile functions have no kinds: a number is the text's leading
 * decimal number. A text without one keeps the default rather than
 * becoming 0. */
int ReadProfile(LPCSTR keyPath, LPCSTR valueName, SettingKind kind, void *destination) {
  if (kind == SettingText) {
    char fallback[kSettingTextBuffer];
    std::memcpy(fallback, destination, sizeof fallback);
    fallback[sizeof fallback - 1] = 0;
    GetPrivateProfileStringA(keyPath, valueName, fallback, static_cast<char *>(destination),
                             kSettingTextBuffer, kSettingsIniFile);
    return 1;
  }
  char text[64];
  GetPrivateProfileStringA(keyPath, valueName, "", text, sizeof text, kSettingsIniFile);
  const char *p = SkipBlanks(text);
  if (*p == '-' || *p == '+') ++p;
  if (*p >= '0' && *p <= '9') {
    int32_t current;
    std::memcpy(&current, destination, sizeof current);
    int32_t value = static_cast<int32_t>(
        GetPrivateProfileIntA(keyPath, valueName, current, kSettingsIniFile));
    std::memcpy(destination, &value, sizeof value);
  }
  return 1;
}

/* Copies `text` less its leading blanks into a field of `fieldSize` bytes,
 * cutting it to fit. */
void CopyTrimmed(char *field, size_t fieldSize, const char *text) {
  const char *start = SkipBlanks(text);
  size_t length = std::strlen(start);
  if (length > fieldSize - 1) length = fieldSize - 1;
  std::memcpy(field, start, length);
  field[length] = 0;
}

}  // namespace

const char *SkipBlanks(const char *text) {
  while (*text == ' ' || *text == '\t') ++text;
  return text;
}

bool UsesRegistry() { return ModulePlatformId() != 0; }

int ReadSetting(HKEY root, LPCSTR keyPath, LPCSTR valueName, SettingKind kind, void *destination) {
  if (UsesRegistry()) return ReadRegistry(root, keyPath, valueName, kind, destination);
  return ReadProfile(keyPath, valueName, kind, destination);
}

int WriteSetting(HKEY root, LPCSTR keyPath, LPCSTR valueName, SettingKind kind, const void *source,
                 DWORD byteCount) {
  if (!UsesRegistry()) {
    char number[16];
    const char *text = static_cast<const char *>(source);
    if (kind == SettingNumber) {
      int32_t value;
      std::memcpy(&value, source, sizeof value);
      std::snprintf(number, sizeof number, "%ld", static_cast<long>(value));
      text = number;
    }
    WritePrivateProfileStringA(keyPath, valueName, text, kSettingsIniFile);
    return 0;
  }

  HKEY key;
  DWORD disposition;
  if (RegCreateKeyExA(root, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                      &key, &disposition) != ERROR_SUCCESS)
    return 0;
  LONG status;
  if (kind == SettingNumber)
    status = RegSetValueExA(key, valueName, 0, REG_DWORD, static_cast<const BYTE *>(source),
                            sizeof(int32_t));
  else
    status = RegSetValueExA(key, valueName, 0, REG_SZ, static_cast<const BYTE *>(source),
                            byteCount);
  RegCloseKey(key);
  /* Our own change counts from the next call without waiting for its
   * notification to arrive. */
  if (SettingsCache *cache = ModuleSettingsCache()) {
    EnterModuleLock(ModuleLock::Settings);
    cache->current = false;
    LeaveModuleLock(ModuleLock::Settings);
  }
  return status == ERROR_SUCCESS ? 1 : 0;
}

namespace {

int ReadPluginSettings(HINSTANCE instance, PluginSettings *settings) {
  std::memset(settings, 0, sizeof *settings);
  char keyPath[kSettingNameBuffer];
  char valueName[kSettingNameBuffer];
  char text[kSettingTextBuffer];
  const bool registry = UsesRegistry();

  for (const SettingGroup &group : kGroups) {
    LoadStringA(instance, group.keyId, keyPath, sizeof keyPath);
    /* Each key is opened once for all its values rather than once per
     * value: the same reads, at a fraction of the registry round trips. A
     * key that cannot be opened leaves every value of it at its default. */
    HKEY key = nullptr;
    if (registry && RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
      key = nullptr;
    for (size_t i = 0; i < group.count; ++i) {
      const SettingEntry &entry = group.entries[i];
      char *field = reinterpret_cast<char *>(settings) + entry.offset;
      LoadStringA(instance, entry.nameId, valueName, sizeof valueName);
      if (entry.kind == SettingNumber) {
        int32_t number = entry.defaultNumber;
        if (!registry) ReadProfile(keyPath, valueName, SettingNumber, &number);
        else if (key) QueryValue(key, valueName, SettingNumber, &number);
        std::memcpy(field, &number, sizeof number);
      } else {
        std::snprintf(text, sizeof text, "%s", entry.defaultText);
        if (!registry) ReadProfile(keyPath, valueName, SettingText, text);
        else if (key) QueryValue(key, valueName, SettingText, text);
        CopyTrimmed(field, entry.fieldSize, text);
      }
    }
    if (key) RegCloseKey(key);
  }

  if (settings->PreviewSize != 0 && settings->PreviewSize != 4 && settings->PreviewSize != 8)
    settings->PreviewSize = 4;
  if (settings->ColorManagement < 0 || settings->ColorManagement > 2) settings->ColorManagement = 1;
  return 1;
}

/* The readers below ask the store itself; the cache holds their answers. */

const char kHostResourceKey[] = "Software\\Merovane\\Orvid\\Resource";

bool ReadHostJapanese() {
  if (UsesRegistry()) {
    int32_t japanese = 1;
    ReadSetting(HKEY_CURRENT_USER, kHostResourceKey, "Japanese", SettingNumber, &japanese);
    return japanese != 0;
  }
  return GetPrivateProfileIntA("Resource", "Japanese", 1, "orvid.ini") != 0;
}

/* UserDefineExtention, and ExtentionMask less leading blanks into `mask`. */
int32_t ReadUserMask(char *mask) {
  char keyPath[kSettingNameBuffer];
  char valueName[kSettingNameBuffer];
  char text[kSettingTextBuffer] = "";
  int32_t enabled = 0;
  LoadStringA(ModuleInstance(), IDS_KEY_MAIN, keyPath, sizeof keyPath);
  LoadStringA(ModuleInstance(), IDS_USER_DEFINE_EXTENTION, valueName, sizeof valueName);
  ReadSetting(HKEY_CURRENT_USER, keyPath, valueName, SettingNumber, &enabled);
  LoadStringA(ModuleInstance(), IDS_EXTENTION_MASK, valueName, sizeof valueName);
  ReadSetting(HKEY_CURRENT_USER, keyPath, valueName, SettingText, text);
  CopyTrimmed(mask, kSettingTextBuffer, text);
  return enabled;
}

void ReadHostPluginFolder(char *folder) {
  char keyPath[kSettingNameBuffer];
  char valueName[kSettingNameBuffer];
  folder[0] = 0;
  LoadStringA(ModuleInstance(), IDS_HOST_PLUGIN_KEY, keyPath, sizeof keyPath);
  LoadStringA(ModuleInstance(), IDS_HOST_PLUGIN_PATH, valueName, sizeof valueName);
  ReadSetting(HKEY_CURRENT_USER, keyPath, valueName, SettingText, folder);
}

/* Every key a snapshot is read from: each group's, and the host's plug-in
 * and resource keys. A key left unwatched would never be read again. */
constexpr int kGroupCount = static_cast<int>(sizeof kGroups / sizeof kGroups[0]);
constexpr int kWatchedPaths = kGroupCount + 2;
static_assert(kWatchedPaths <= kMaxWatchedPaths, "raise kMaxWatchedPaths for the new group");

/* Registers the watch on every key a snapshot is read from. */
bool ArmWatch(StoreWatch *watch) {
  char paths[kGroupCount + 1][kSettingNameBuffer];
  const char *list[kWatchedPaths];
  for (int i = 0; i <= kGroupCount; ++i) {
    const UINT id = i < kGroupCount ? kGroups[i].keyId : IDS_HOST_PLUGIN_KEY;
    LoadStringA(ModuleInstance(), id, paths[i], sizeof paths[i]);
    list[i] = paths[i];
  }
  list[kGroupCount + 1] = kHostResourceKey;
  return ArmStoreWatch(watch, list, kWatchedPaths);
}

/* Registry mode keeps the store in memory, when the cache could be had. */
bool Cached() { return UsesRegistry() && ModuleSettingsCache() != nullptr; }

/* Brings the cache up to date if needed; the caller holds the settings lock. */
const StoreSnapshot &CurrentSnapshot() {
  SettingsCache &cache = *ModuleSettingsCache();
  if (cache.current && !StoreWatchFired(&cache.watch)) return cache.snapshot;
  /* Armed before reading: a change made while we read fires it again. */
  cache.current = ArmWatch(&cache.watch);
  StoreSnapshot &snapshot = cache.snapshot;
  ReadPluginSettings(ModuleInstance(), &snapshot.settings);
  ReadUserMask(snapshot.userMask);
  ReadHostPluginFolder(snapshot.pluginFolder);
  snapshot.hostJapanese = ReadHostJapanese();
  if (cache.afterRead) cache.afterRead();
  return snapshot;
}

}  // namespace

int LoadSettingsAndLanguage(HINSTANCE instance, PluginSettings *settings, bool *hostJapanese) {
  if (!Cached()) {
    ReadPluginSettings(instance, settings);
    *hostJapanese = ReadHostJapanese();
    return 1;
  }
  EnterModuleLock(ModuleLock::Settings);
  const StoreSnapshot &snapshot = CurrentSnapshot();
  *settings = snapshot.settings;
  *hostJapanese = snapshot.hostJapanese;
  LeaveModuleLock(ModuleLock::Settings);
  return 1;
}

int LoadSettings(HINSTANCE instance, PluginSettings *settings) {
  if (!Cached()) return ReadPluginSettings(instance, settings), 1;
  bool hostJapanese;
  return LoadSettingsAndLanguage(instance, settings, &hostJapanese);
}

int SaveSettings(HINSTANCE instance, const PluginSettings *settings) {
  char keyPath[kSettingNameBuffer];
  char valueName[kSettingNameBuffer];

  for (const SettingGroup &group : kGroups) {
    LoadStringA(instance, group.keyId, keyPath, sizeof keyPath);
    for (size_t i = 0; i < group.count; ++i) {
      const SettingEntry &entry = group.entries[i];
      const char *field = reinterpret_cast<const char *>(settings) + entry.offset;
      LoadStringA(instance, entry.nameId, valueName, sizeof valueName);
      if (entry.kind == SettingNumber) {
        WriteSetting(HKEY_CURRENT_USER, keyPath, valueName, SettingNumber, field, sizeof(int32_t));
      } else {
        /* The record's text may lack a terminator if a caller filled it
         * carelessly: never read past the field. */
        const char *start = SkipBlanks(field);
        size_t limit = entry.fieldSize - static_cast<size_t>(start - field);
        const void *end = std::memchr(start, 0, limit);
        DWORD length = static_cast<DWORD>(end ? static_cast<const char *>(end) - start : limit);
        char text[kSettingTextBuffer];
        std::memcpy(text, start, length);
        text[length] = 0;
        WriteSetting(HKEY_CURRENT_USER, keyPath, valueName, SettingText, text, length);
      }
    }
  }
  return 1;
}

bool IsHostJapanese() {
  if (!Cached()) return ReadHostJapanese();
  EnterModuleLock(ModuleLock::Settings);
  bool japanese = CurrentSnapshot().hostJapanese;
  LeaveModuleLock(ModuleLock::Settings);
  return japanese;
}

int32_t LoadUserMask(char *mask) {
  if (!Cached()) return ReadUserMask(mask);
  EnterModuleLock(ModuleLock::Settings);
  const StoreSnapshot &snapshot = CurrentSnapshot();
  std::memcpy(mask, snapshot.userMask, kSettingTextBuffer);
  int32_t enabled = snapshot.settings.UserDefineExtention;
  LeaveModuleLock(ModuleLock::Settings);
  return enabled;
}

void LoadHostPluginFolder(char *folder) {
  if (!Cached()) return ReadHostPluginFolder(folder);
  EnterModuleLock(ModuleLock::Settings);
  std::memcpy(folder, CurrentSnapshot().pluginFolder, kSettingTextBuffer);
  LeaveModuleLock(ModuleLock::Settings);
}

void OpenSettingsCache() { SetModuleSettingsCache(new (std::nothrow) SettingsCache()); }

void CloseSettingsCache() {
  SettingsCache *cache = ModuleSettingsCache();
  if (!cache) return;
  CloseStoreWatch(&cache->watch);
  SetModuleSettingsCache(nullptr);
  delete cache;
}
