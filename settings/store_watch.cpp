/*
 * store_watch.cpp - arming, checking and closing the registry watch of the
 * settings store.
 *
 * Arming is exact against changes made while it runs: keys are registered
 * parents first, so a key deleted after its parent's registration is
 * reported by it, and a key deleted before its own registration makes that
 * registration fail; a missing key found again afterwards was created
 * before its parent's registration could report it. Either way the watch
 * is incomplete and the next call arms it again.
 */
#include "settings/store_watch.h"

#include <cstring>

#include "settings/setting_buffers.h"

namespace {

constexpr DWORD kKeyChanges = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
constexpr DWORD kSubkeyChanges = REG_NOTIFY_CHANGE_NAME; /* what a parent is watched for */

struct WatchedKey {
  char path[kSettingNameBuffer];
  DWORD filter;
  int depth; /* key names in the path */
};

int Depth(const char *path) {
  if (*path == 0) return 0;
  int depth = 1;
  for (; *path; ++path)
    if (*path == '\\') ++depth;
  return depth;
}

/* Cuts `path` to its parent ("" for a key right below the root). */
void CutToParent(char *path) {
  char *separator = std::strrchr(path, '\\');
  if (separator) *separator = 0;
  else path[0] = 0;
}

/* "" opens HKEY_CURRENT_USER itself. */
LONG OpenForNotify(const char *path, HKEY *key) {
  return RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_NOTIFY, key);
}

/* Whether the key `path` exists: 1, 0, or -1 when that cannot be told. */
int KeyExists(const char *path) {
  HKEY key;
  LONG status = OpenForNotify(path, &key);
  if (status == ERROR_SUCCESS) RegCloseKey(key);
  if (status == ERROR_SUCCESS) return 1;
  return status == ERROR_FILE_NOT_FOUND ? 0 : -1;
}

/* The deepest existing key on `path` into `existing`; false when it cannot
 * be told. */
bool FindNearestExisting(const char *path, char *existing) {
  std::strcpy(existing, path);
  for (;;) {
    int exists = KeyExists(existing);
    if (exists != 0) return exists > 0;
    if (existing[0] == 0) return false;
    CutToParent(existing);
  }
}

/* True when the next key on the way from `existing` down to `path` exists
 * now (or cannot be told). */
bool NextKeyAppeared(const char *path, const char *existing) {
  size_t length = std::strlen(existing);
  if (std::strlen(path) == length) return false;
  const char *separator = std::strchr(path + length + (length ? 1 : 0), '\\');
  char next[kSettingNameBuffer];
  size_t nextLength = separator ? static_cast<size_t>(separator - path) : std::strlen(path);
  std::memcpy(next, path, nextLength);
  next[nextLength] = 0;
  return KeyExists(next) != 0;
}

void AddKey(WatchedKey *keys, int *count, const char *path, DWORD filter) {
  for (int i = 0; i < *count; ++i)
    if (lstrcmpiA(keys[i].path, path) == 0) {
      keys[i].filter |= filter;
      return;
    }
  WatchedKey &key = keys[(*count)++];
  std::strcpy(key.path, path);
  key.filter = filter;
  key.depth = Depth(path);
}

void CloseKeys(StoreWatch *watch) {
  for (int i = 0; i < watch->keyCount; ++i) RegCloseKey(watch->keys[i]);
  watch->keyCount = 0;
}

}  // namespace

bool ArmStoreWatch(StoreWatch *watch, const char *const *paths, int count) {
  if (watch->unavailable || count > kMaxWatchedPaths) return false;
  CloseKeys(watch); /* which may set the event: it is reset below */
  if (!watch->event) watch->event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!watch->event) {
    watch->unavailable = true;
    return false;
  }
  ResetEvent(watch->event);

  WatchedKey keys[kMaxWatchedKeys];
  int keyCount = 0;
  char existing[kMaxWatchedPaths][kSettingNameBuffer];
  for (int i = 0; i < count; ++i) {
    if (std::strlen(paths[i]) >= kSettingNameBuffer) return false;
    if (!FindNearestExisting(paths[i], existing[i])) return false;
    AddKey(keys, &keyCount, existing[i], kKeyChanges);
    if (existing[i][0] != 0) {
      char parent[kSettingNameBuffer];
      std::strcpy(parent, existing[i]);
      CutToParent(parent);
      AddKey(keys, &keyCount, parent, kSubkeyChanges);
    }
  }

  /* Parents first. */
  for (int depth = 0, done = 0; done < keyCount; ++depth) {
    for (int i = 0; i < keyCount; ++i) {
      if (keys[i].depth != depth) continue;
      ++done;
      HKEY key;
      if (OpenForNotify(keys[i].path, &key) != ERROR_SUCCESS) return false;
      watch->keys[watch->keyCount++] = key;
      LONG status = RegNotifyChangeKeyValue(key, FALSE, keys[i].filter, watch->event, TRUE);
      if (status == ERROR_KEY_DELETED) return false;
      if (status != ERROR_SUCCESS) {
        CloseKeys(watch);
        watch->unavailable = true;
        return false;
      }
    }
  }

  for (int i = 0; i < count; ++i)
    if (NextKeyAppeared(paths[i], existing[i])) return false;
  return true;
}

bool StoreWatchFired(const StoreWatch *watch) {
  return !watch->event || WaitForSingleObject(watch->event, 0) != WAIT_TIMEOUT;
}

void CloseStoreWatch(StoreWatch *watch) {
  CloseKeys(watch);
  if (watch->event) CloseHandle(watch->event);
  watch->event = nullptr;
  watch->unavailable = false;
}
