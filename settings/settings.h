/*
 * settings.h - the plug-in's configuration record and its store.
 *
 * PluginSettings lives per user in the registry, or in the private INI file
 * "quorelv6.ini" when the platform id recorded at process attach is 0.
 * ReadSetting and WriteSetting also serve keys that are not the plug-in's
 * own (the host's plug-in folder, the user mask of GetPluginInfo).
 *
 * In registry mode what the calls read (the settings, the user mask, the
 * host's language flag and plug-in folder) is kept in memory and read again
 * only when a registry notification says that one of its keys changed, or
 * after a write of our own: a registry round trip costs more than a whole
 * IsSupported, and a change still counts from the next call. INI mode reads
 * the file at every call.
 */
#ifndef MOVRELA_SETTINGS_H
#define MOVRELA_SETTINGS_H

#include <cstdint>

#include "base/plugin_settings.h"
#include "platform.h"
#include "settings/setting_buffers.h"
#include "settings/store_watch.h"

enum SettingKind {
  SettingNumber = 0, /* 32-bit signed: REG_DWORD, or "%ld" text in the INI file */
  SettingText = 1    /* REG_SZ without terminator, or plain INI text */
};

/* The plug-in's private INI file, used in INI mode. */
constexpr const char *kSettingsIniFile = "quorelv6.ini";

/* What registry mode keeps of the store between calls. */
struct StoreSnapshot {
  PluginSettings settings;
  char userMask[kSettingTextBuffer];     /* ExtentionMask less leading blanks, uncut */
  char pluginFolder[kSettingTextBuffer]; /* the host's plug-in folder, "" when unset */
  bool hostJapanese;
};

/* The snapshot and what tells when to read it again; in the module state,
 * under ModuleLock::Settings. */
struct SettingsCache {
  StoreSnapshot snapshot;
  StoreWatch watch;
  bool current; /* read under a complete watch, and nothing written by us since */
  void (*afterRead)(); /* tests only: runs right after each re-read, lock held */
};

/* Reads one stored value into `destination`, which holds the default on entry
 * and keeps it unless a value of the right kind is found. A number needs a
 * 4-byte int32_t destination, a text a kSettingTextBuffer-byte one (the text
 * comes back zero-terminated). Returns 1 when a value was read, else 0. */
int ReadSetting(HKEY root, LPCSTR keyPath, LPCSTR valueName, SettingKind kind, void *destination);

/* Stores one value: a number from an int32_t, a text of `byteCount` bytes
 * (without its terminator). Returns 1 on success in registry mode, 0 on
 * failure and always 0 in INI mode; callers ignore it. */
int WriteSetting(HKEY root, LPCSTR keyPath, LPCSTR valueName, SettingKind kind, const void *source,
                 DWORD byteCount);

/* Fills `settings` from the store: defaults for whatever is missing. Never
 * fails and never creates a key or file. Returns 1. In registry mode the
 * names come from the module's own string table, whatever `instance`. */
int LoadSettings(HINSTANCE instance, PluginSettings *settings);

/* LoadSettings, and the host's language (true: Japanese), in registry mode
 * from the same look at the store. Returns 1. */
int LoadSettingsAndLanguage(HINSTANCE instance, PluginSettings *settings, bool *hostJapanese);

/* Writes every value of `settings`, main group then J6I then PMP. Failures
 * are silent. Returns 1. */
int SaveSettings(HINSTANCE instance, const PluginSettings *settings);

/* True when the host viewer runs in Japanese (the default when unknown). */
bool IsHostJapanese();

/* UserDefineExtention, and ExtentionMask less its leading blanks into a
 * kSettingTextBuffer-byte `mask` (not cut to the record's field). */
int32_t LoadUserMask(char *mask);

/* The host's plug-in folder setting into a kSettingTextBuffer-byte
 * `folder`; empty when there is none. */
void LoadHostPluginFolder(char *folder);

/* Process attach: an empty cache in the module state (nothing is read yet);
 * without memory there is none and every call reads the store. */
void OpenSettingsCache();

/* Process detach: closes the registry watch and frees the cache. */
void CloseSettingsCache();

/* True when settings live in the registry (platform id non-zero). */
bool UsesRegistry();

/* Pointer to the first character of `text` that is neither space nor tab. */
const char *SkipBlanks(const char *text);

#endif /* MOVRELA_SETTINGS_H */
