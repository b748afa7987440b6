/*
 * registry.cpp - the HKEY_CURRENT_USER hive, kept on disk below
 * StandinRootFolder()/registry/hkey_current_user.
 *
 * Layout: one folder per key component, named by the component in lower case
 * (keys compare without regard to case) with '/', '%', control characters and
 * a leading '.' written as %XX, so no key folder can be taken for the values
 * file ".values" that each key with values has. That file holds one value per
 * line after a header line:
 *     movrela-registry-values 1
 *     <type, decimal> <name, hex bytes or "-" when empty> <data, hex or "-">
 * Value names keep their case; lookups ignore it. Writers replace the file
 * through a temporary file and rename(), under the table mutex and an
 * flock() on registry/.lock, so threads and processes never corrupt it.
 * Nothing is created on disk except by RegCreateKeyExA and RegSetValueExA.
 *
 * Every change is also appended, as one line, to the change log
 * registry/.changes, for RegNotifyChangeKeyValue (win32.h says how):
 *     V <key>    a value of <key> set or deleted
 *     N <key>    a subkey of <key> created or deleted
 *     D <key>    <key> deleted
 * where <key> is the key's folder below the hive folder ("/software/doru",
 * empty for the hive itself).
 *
 * HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT exist and are empty: opening them
 * (subKey "" or NULL) works, any subkey is missing, creating or writing there
 * is refused with ERROR_ACCESS_DENIED. A handle whose key was deleted gives
 * ERROR_KEY_DELETED. RegDeleteTreeA checks no access rights.
 */
#include "internal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

struct StandinKey {
  bool stored; /* in the HKEY_CURRENT_USER hive (others are empty) */
  std::vector<std::string> parts; /* components below the hive, as given */
  REGSAM sam;
};

namespace {

const char kHeader[] = "movrela-registry-values 1";
constexpr size_t kMaxKeyComponent = 255;
constexpr size_t kMaxValueName = 16383;

/* Change kinds in the log, by the notification filter that reports them. */
constexpr char kValueChange = 'V'; /* REG_NOTIFY_CHANGE_LAST_SET */
constexpr char kNameChange = 'N';  /* REG_NOTIFY_CHANGE_NAME */
constexpr char kKeyDeleted = 'D';  /* ends the key's own registrations */

/* One pending RegNotifyChangeKeyValue. */
struct Registration {
  HKEY key;          /* the handle it was made on */
  HANDLE event;
  std::string root;  /* the root folder then */
  std::string keyId; /* the key, as the change log names it */
  bool subtree;
  DWORD filter;
  dev_t device;      /* the change log's identity (inode 0: there was none) */
  ino_t inode;
  off_t offset;      /* how much of the log has been looked at */
};

std::mutex g_registryMutex;
std::set<HKEY> g_keys;
std::vector<Registration> g_registrations;
bool g_denied = false;

struct RegValue {
  std::string name;
  DWORD type;
  std::string data;
};

std::string Escape(const std::string &part) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < part.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(standin::FoldCase(part[i]));
    if (c == '/' || c == '%' || c < 0x20 || c == 0x7F || (i == 0 && c == '.')) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string RegistryFolder() { return standin::RootFolder() + "/registry"; }

std::string KeyFolder(const std::vector<std::string> &parts) {
  std::string folder = RegistryFolder() + "/hkey_current_user";
  for (const std::string &part : parts) folder += "/" + Escape(part);
  return folder;
}

std::string KeyId(const std::vector<std::string> &parts) {
  std::string id;
  for (const std::string &part : parts) id += "/" + Escape(part);
  return id;
}

std::string ParentId(const std::string &id) { return id.substr(0, id.rfind('/')); }

std::string ChangeLog(const std::string &root) { return root + "/registry/.changes"; }

void LogChange(char kind, const std::string &keyId) {
  std::string line = std::string(1, kind) + " " + keyId + "\n";
  int fd = ::open(ChangeLog(standin::RootFolder()).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                  0666);
  if (fd < 0) return;
  /* One line in one write: appends of several processes never interleave. */
  ssize_t written = ::write(fd, line.data(), line.size());
  (void)written;
  ::close(fd);
}

bool Reports(const Registration &r, char kind, const std::string &keyId) {
  DWORD bit = kind == kValueChange ? REG_NOTIFY_CHANGE_LAST_SET : REG_NOTIFY_CHANGE_NAME;
  if (!(r.filter & bit)) return false;
  if (keyId == r.keyId) return true;
  return r.subtree && keyId.size() > r.keyId.size() &&
         keyId.compare(0, r.keyId.size(), r.keyId) == 0 && keyId[r.keyId.size()] == '/';
}

/* What the log lines appended since `r` last looked mean for it: 1 a
 * change it reports, -1 its key deleted, 0 nothing (its offset then moves
 * past the complete lines read). */
int ScanLog(Registration &r, const std::string &log, off_t size) {
  std::string tail(static_cast<size_t>(size - r.offset), '\0');
  int fd = ::open(log.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 1;
  ssize_t n = ::pread(fd, &tail[0], tail.size(), r.offset);
  ::close(fd);
  if (n < 0) return 1;
  tail.resize(static_cast<size_t>(n));
  size_t start = 0, end;
  while ((end = tail.find('\n', start)) != std::string::npos) {
    if (end > start + 1) {
      std::string keyId = tail.substr(start + 2, end - start - 2);
      if (tail[start] == kKeyDeleted) {
        if (keyId == r.keyId) return -1;
      } else if (Reports(r, tail[start], keyId)) {
        return 1;
      }
    }
    start = end + 1;
  }
  r.offset += static_cast<off_t>(start);
  return 0;
}

/* Sets the event of every registration of `key` and drops them. */
void FireRegistrationsOf(HKEY key) {
  for (auto it = g_registrations.begin(); it != g_registrations.end();) {
    if (it->key == key) {
      SetEvent(it->event);
      it = g_registrations.erase(it);
    } else {
      ++it;
    }
  }
}

bool KeyExists(const std::vector<std::string> &parts) {
  return parts.empty() || standin::IsFolder(KeyFolder(parts));
}

/* Splits a subkey path on backslashes into `parts` (appended). */
LONG ParseSubKey(LPCSTR subKey, std::vector<std::string> &parts) {
  if (!subKey || !*subKey) return ERROR_SUCCESS;
  std::string path(subKey);
  if (path[0] == '\\') return ERROR_BAD_PATHNAME;
  if (path.back() == '\\') path.pop_back(); /* one trailing separator is fine */
  size_t start = 0;
  for (;;) {
    size_t end = path.find('\\', start);
    std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part.empty()) return ERROR_BAD_PATHNAME;
    if (part.size() > kMaxKeyComponent) return ERROR_INVALID_PARAMETER;
    parts.push_back(part);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

/* Copies what a key handle stands for; false for an unknown handle. */
bool Resolve(HKEY key, StandinKey &out) {
  if (key == HKEY_CURRENT_USER) {
    out = StandinKey{true, {}, KEY_ALL_ACCESS};
    return true;
  }
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CLASSES_ROOT) {
    out = StandinKey{false, {}, KEY_ALL_ACCESS};
    return true;
  }
  if (g_keys.count(key) == 0) return false;
  out = *key;
  return true;
}

HKEY NewHandle(bool stored, std::vector<std::string> parts, REGSAM sam) {
  HKEY key = new StandinKey{stored, std::move(parts), sam};
  g_keys.insert(key);
  return key;
}

std::string Hex(const std::string &bytes) {
  if (bytes.empty()) return "-";
  static const char hex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += hex[c >> 4];
    out += hex[c & 15];
  }
  return out;
}

bool Unhex(const std::string &text, std::string &bytes) {
  bytes.clear();
  if (text == "-") return true;
  if (text.size() % 2) return false;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = digit(text[i]), lo = digit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

/* Values of a key folder (none when the file is missing; bad lines skipped). */
std::vector<RegValue> LoadValues(const std::string &folder) {
  std::vector<RegValue> values;
  std::string content;
  if (!standin::ReadWholeFile(folder + "/.values", content)) return values;
  std::istringstream in(content);
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (first) {
      first = false;
      if (line == kHeader) continue;
    }
    std::istringstream fields(line);
    unsigned long type;
    std::string name, data;
    if (!(fields >> type >> name >> data)) continue;
    RegValue v{std::string(), static_cast<DWORD>(type), std::string()};
    if (!Unhex(name, v.name) || !Unhex(data, v.data)) continue;
    values.push_back(std::move(v));
  }
  return values;
}

bool SaveValues(const std::string &folder, const std::vector<RegValue> &values) {
  std::string content = std::string(kHeader) + "\n";
  for (const RegValue &v : values)
    content += std::to_string(v.type) + " " + Hex(v.name) + " " + Hex(v.data) + "\n";
  return standin::ReplaceFile(folder + "/.values", content);
}

std::vector<RegValue>::iterator FindValue(std::vector<RegValue> &values, const std::string &name) {
  for (auto it = values.begin(); it != values.end(); ++it)
    if (standin::EqualsNoCase(it->name, name)) return it;
  return values.end();
}

/* The changes that removing the values and subkeys of the key in `folder`
 * (and with `withKey` the key itself) makes, as Windows' RegDeleteTree
 * makes them: values deleted, then keys. */
void ListRemovals(const std::string &folder, const std::string &keyId, bool withKey,
                  std::vector<std::pair<char, std::string>> &changes) {
  if (!LoadValues(folder).empty()) changes.emplace_back(kValueChange, keyId);
  std::error_code ec;
  for (const auto &entry : std::filesystem::directory_iterator(folder, ec))
    if (entry.is_directory(ec))
      ListRemovals(entry.path().string(), keyId + "/" + entry.path().filename().string(), true,
                   changes);
  if (withKey) {
    changes.emplace_back(kKeyDeleted, keyId);
    changes.emplace_back(kNameChange, ParentId(keyId));
  }
}

std::vector<std::string> Join(const std::vector<std::string> &a, const std::vector<std::string> &b) {
  std::vector<std::string> out(a);
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM sam, PHKEY result) {
  (void)options;
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::lock_guard<std::mutex> lock(g_registryMutex);
  if (g_denied) return ERROR_ACCESS_DENIED;
  StandinKey base;
  if (!Resolve(key, base)) return ERROR_INVALID_HANDLE;
  std::vector<std::string> parts;
  if (LONG rc = ParseSubKey(subKey, parts)) return rc;
  if (!base.stored) {
    if (!parts.empty()) return ERROR_FILE_NOT_FOUND;
  } else {
    if (!KeyExists(base.parts)) return ERROR_KEY_DELETED;
    parts = Join(base.parts, parts);
    if (!KeyExists(parts)) return ERROR_FILE_NOT_FOUND;
  }
  *result = NewHandle(base.stored, std::move(parts), sam);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR cls, DWORD options,
                     REGSAM sam, LPSECURITY_ATTRIBUTES sa, PHKEY result, LPDWORD disposition) {
  (void)reserved;
  (void)cls;
  (void)options; /* volatile keys are kept like the others */
  (void)sa;
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::lock_guard<std::mutex> lock(g_registryMutex);
  if (g_denied) return ERROR_ACCESS_DENIED;
  StandinKey base;
  if (!Resolve(key, base)) return ERROR_INVALID_HANDLE;
  std::vector<std::string> parts;
  if (LONG rc = ParseSubKey(subKey, parts)) return rc;
  bool created = false;
  if (!base.stored) {
    if (!parts.empty()) return ERROR_ACCESS_DENIED;
  } else {
    if (!KeyExists(base.parts)) return ERROR_KEY_DELETED;
    size_t known = base.parts.size(); /* components that exist */
    parts = Join(base.parts, parts);
    if (!KeyExists(parts)) {
      if (!(base.sam & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
      while (known < parts.size() &&
             KeyExists(std::vector<std::string>(parts.begin(), parts.begin() + known + 1)))
        ++known;
      if (!standin::MakeFolders(KeyFolder(parts))) return standin::ErrorFromErrno(errno);
      for (; known < parts.size(); ++known)
        LogChange(kNameChange, KeyId(std::vector<std::string>(parts.begin(), parts.begin() + known)));
      created = true;
    }
  }
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = NewHandle(base.stored, std::move(parts), sam);
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  StandinKey k;
  if (!Resolve(key, k)) return ERROR_INVALID_HANDLE;
  if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  if (!(k.sam & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (!k.stored) return ERROR_FILE_NOT_FOUND;
  if (!KeyExists(k.parts)) return ERROR_KEY_DELETED;
  std::vector<RegValue> values = LoadValues(KeyFolder(k.parts));
  auto it = FindValue(values, name ? name : "");
  if (it == values.end()) return ERROR_FILE_NOT_FOUND;
  if (type) *type = it->type;
  DWORD size = static_cast<DWORD>(it->data.size());
  if (!data) {
    if (dataSize) *dataSize = size;
    return ERROR_SUCCESS;
  }
  if (*dataSize < size) {
    *dataSize = size; /* the buffer is left as it was */
    return ERROR_MORE_DATA;
  }
  if (size) std::memcpy(data, it->data.data(), size); /* bytes as stored: no terminator added */
  *dataSize = size;
  return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data,
                    DWORD dataSize) {
  (void)reserved;
  std::lock_guard<std::mutex> lock(g_registryMutex);
  StandinKey k;
  if (!Resolve(key, k)) return ERROR_INVALID_HANDLE;
  if (!(k.sam & KEY_SET_VALUE) || !k.stored) return ERROR_ACCESS_DENIED;
  if (!data && dataSize) return ERROR_INVALID_PARAMETER;
  std::string valueName = name ? name : "";
  if (valueName.size() > kMaxValueName) return ERROR_INVALID_PARAMETER;
  if (!KeyExists(k.parts)) return ERROR_KEY_DELETED;
  std::string folder = KeyFolder(k.parts);
  if (!standin::MakeFolders(folder)) return standin::ErrorFromErrno(errno);
  standin::InterProcessLock fileLock(RegistryFolder() + "/.lock");
  std::vector<RegValue> values = LoadValues(folder);
  /* Like NT, a string whose count forgot the terminator gets it when the
   * byte after the data is zero (the caller's string did end there). */
  if (data && dataSize && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) &&
      data[dataSize - 1] != 0 && data[dataSize] == 0)
    ++dataSize;
  std::string bytes(reinterpret_cast<const char *>(data), data ? dataSize : 0);
  auto it = FindValue(values, valueName);
  if (it != values.end()) {
    it->type = type; /* the name keeps the case it was created with */
    it->data = std::move(bytes);
  } else {
    values.push_back(RegValue{valueName, type, std::move(bytes)});
  }
  if (!SaveValues(folder, values)) return standin::ErrorFromErrno(errno);
  LogChange(kValueChange, KeyId(k.parts));
  return ERROR_SUCCESS;
}

LONG RegDeleteValueA(HKEY key, LPCSTR name) {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  StandinKey k;
  if (!Resolve(key, k)) return ERROR_INVALID_HANDLE;
  if (!(k.sam & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (!k.stored) return ERROR_FILE_NOT_FOUND;
  if (!KeyExists(k.parts)) return ERROR_KEY_DELETED;
  std::string folder = KeyFolder(k.parts);
  if (!standin::IsFolder(folder)) return ERROR_FILE_NOT_FOUND;
  standin::InterProcessLock fileLock(RegistryFolder() + "/.lock");
  std::vector<RegValue> values = LoadValues(folder);
  auto it = FindValue(values, name ? name : "");
  if (it == values.end()) return ERROR_FILE_NOT_FOUND;
  values.erase(it);
  if (!SaveValues(folder, values)) return standin::ErrorFromErrno(errno);
  LogChange(kValueChange, KeyId(k.parts));
  return ERROR_SUCCESS;
}

LONG RegDeleteTreeA(HKEY key, LPCSTR subKey) {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  StandinKey base;
  if (!Resolve(key, base)) return ERROR_INVALID_HANDLE;
  std::vector<std::string> parts;
  if (LONG rc = ParseSubKey(subKey, parts)) return rc;
  if (!base.stored) return parts.empty() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  if (!KeyExists(base.parts)) return ERROR_KEY_DELETED;
  bool removeKey = !parts.empty();
  parts = Join(base.parts, parts);
  if (!KeyExists(parts)) return ERROR_FILE_NOT_FOUND;
  std::string folder = KeyFolder(parts);
  if (!standin::IsFolder(folder)) return ERROR_SUCCESS; /* the empty hive */
  standin::InterProcessLock fileLock(RegistryFolder() + "/.lock");
  std::vector<std::pair<char, std::string>> changes;
  ListRemovals(folder, KeyId(parts), removeKey, changes);
  std::error_code ec;
  if (removeKey) {
    std::filesystem::remove_all(folder, ec);
  } else {
    /* The key stays; its values and subkeys go. */
    std::vector<std::filesystem::path> entries;
    for (const auto &entry : std::filesystem::directory_iterator(folder, ec))
      entries.push_back(entry.path());
    for (const auto &entry : entries) {
      std::filesystem::remove_all(entry, ec);
      if (ec) break;
    }
  }
  for (const auto &change : changes) LogChange(change.first, change.second);
  if (ec) return standin::ErrorFromErrno(ec.value());
  return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  if (!subKey) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(g_registryMutex);
  StandinKey base;
  if (!Resolve(key, base)) return ERROR_INVALID_HANDLE;
  std::vector<std::string> parts;
  if (LONG rc = ParseSubKey(subKey, parts)) return rc;
  if (!base.stored) return parts.empty() ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
  if (!KeyExists(base.parts)) return ERROR_KEY_DELETED;
  parts = Join(base.parts, parts);
  if (parts.empty()) return ERROR_ACCESS_DENIED; /* the hive itself */
  if (!KeyExists(parts)) return ERROR_FILE_NOT_FOUND;
  std::string folder = KeyFolder(parts);
  std::error_code ec;
  for (const auto &entry : std::filesystem::directory_iterator(folder, ec))
    if (entry.is_directory(ec)) return ERROR_ACCESS_DENIED; /* it has subkeys */
  standin::InterProcessLock fileLock(RegistryFolder() + "/.lock");
  std::filesystem::remove_all(folder, ec);
  if (ec) return standin::ErrorFromErrno(ec.value());
  LogChange(kKeyDeleted, KeyId(parts)); /* values go with the key, unreported */
  LogChange(kNameChange, KeyId(std::vector<std::string>(parts.begin(), parts.end() - 1)));
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE || key == HKEY_CLASSES_ROOT)
    return ERROR_SUCCESS;
  std::lock_guard<std::mutex> lock(g_registryMutex);
  if (g_keys.erase(key) == 0) return ERROR_INVALID_HANDLE;
  FireRegistrationsOf(key); /* closing a watched handle ends its watch, as on Windows */
  delete key;
  return ERROR_SUCCESS;
}

LONG RegNotifyChangeKeyValue(HKEY key, BOOL watchSubtree, DWORD filter, HANDLE event,
                             BOOL asynchronous) {
  const DWORD kChanges = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES |
                         REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;
  if (!asynchronous || !event || (filter & ~(kChanges | REG_NOTIFY_THREAD_AGNOSTIC)) ||
      !(filter & kChanges))
    return ERROR_INVALID_PARAMETER;
  if (!standin::IsEvent(event)) return ERROR_INVALID_HANDLE;
  std::lock_guard<std::mutex> lock(g_registryMutex);
  StandinKey k;
  if (!Resolve(key, k)) return ERROR_INVALID_HANDLE;
  if (!(k.sam & KEY_NOTIFY)) return ERROR_ACCESS_DENIED;
  if (k.stored && !KeyExists(k.parts)) return ERROR_KEY_DELETED;
  Registration r{key, event, standin::RootFolder(), k.stored ? KeyId(k.parts) : "?", watchSubtree != 0,
                 filter, 0, 0, 0};
  struct stat log;
  if (::stat(ChangeLog(r.root).c_str(), &log) == 0) {
    r.device = log.st_dev;
    r.inode = log.st_ino;
    r.offset = log.st_size;
  }
  g_registrations.push_back(std::move(r));
  return ERROR_SUCCESS;
}

namespace standin {

void DeliverRegistryNotifications() {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  if (g_registrations.empty()) return;
  const std::string root = RootFolder();
  const std::string log = ChangeLog(root);
  struct stat now;
  const bool present = ::stat(log.c_str(), &now) == 0;
  for (auto it = g_registrations.begin(); it != g_registrations.end();) {
    Registration &r = *it;
    int change = 0;
    if (r.root != root) {
      change = 1; /* another store altogether */
    } else if (r.inode != 0 && (!present || now.st_ino != r.inode || now.st_dev != r.device ||
                                now.st_size < r.offset)) {
      change = 1; /* the log was removed or replaced: so was the store */
    } else if (present && now.st_size > r.offset) {
      r.device = now.st_dev;
      r.inode = now.st_ino;
      change = ScanLog(r, log, now.st_size);
    }
    if (change > 0) SetEvent(r.event);
    it = change != 0 ? g_registrations.erase(it) : it + 1;
  }
}

void ForgetRegistryNotifications(HANDLE event) {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  for (auto it = g_registrations.begin(); it != g_registrations.end();)
    it = it->event == event ? g_registrations.erase(it) : it + 1;
}

}  // namespace standin

extern "C" void StandinSetRegistryDenied(int denied) {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  g_denied = denied != 0;
}
