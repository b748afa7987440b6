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
 * HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT exist and are empty: opening them
 * (subKey "" or NULL) works, any subkey is missing, creating or writing there
 * is refused with ERROR_ACCESS_DENIED. A handle whose key was deleted gives
 * ERROR_KEY_DELETED. RegDeleteTreeA checks no access rights.
 */
#include "internal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <sstream>

struct StandinKey {
  bool stored; /* in the HKEY_CURRENT_USER hive (others are empty) */
  std::vector<std::string> parts; /* components below the hive, as given */
  REGSAM sam;
};

namespace {

const char kHeader[] = "movrela-registry-values 1";
constexpr size_t kMaxKeyComponent = 255;
constexpr size_t kMaxValueName = 16383;

std::mutex g_registryMutex;
std::set<HKEY> g_keys;
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
    parts = Join(base.parts, parts);
    if (!KeyExists(parts)) {
      if (!(base.sam & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
      if (!standin::MakeFolders(KeyFolder(parts))) return standin::ErrorFromErrno(errno);
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
  if (ec) return standin::ErrorFromErrno(ec.value());
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE || key == HKEY_CLASSES_ROOT)
    return ERROR_SUCCESS;
  std::lock_guard<std::mutex> lock(g_registryMutex);
  if (g_keys.erase(key) == 0) return ERROR_INVALID_HANDLE;
  delete key;
  return ERROR_SUCCESS;
}

extern "C" void StandinSetRegistryDenied(int denied) {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  g_denied = denied != 0;
}
