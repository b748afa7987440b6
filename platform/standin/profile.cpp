/*
 * profile.cpp - profile (INI) files: GetPrivateProfileIntA,
 * GetPrivateProfileStringA, WritePrivateProfileStringA.
 *
 * Follows Windows (and Wine, where Windows documents nothing):
 * - a file name without a folder lies in the Windows folder,
 *   StandinRootFolder()/windows (created when first written); a NULL file
 *   name means win.ini; backslashes are path separators;
 * - section and key names compare without regard to ASCII case and are
 *   trimmed of blanks, as are values; a value in matching double or single
 *   quotes loses them when read; lines starting with ';' are comments;
 *   lines before the first section are ignored; a line without '=' is a key
 *   with an empty value; when a section appears twice, both are searched;
 * - a missing value gives the default with trailing blanks removed (and
 *   GetLastError ERROR_FILE_NOT_FOUND);
 * - GetPrivateProfileIntA reads an optional sign and digits after leading
 *   blanks, with the 0x/0o/0b prefixes of RtlUnicodeStringToInteger; an
 *   empty value gives the default, a value without digits 0;
 * - a NULL section (or key) lists the section (or key) names, each followed
 *   by a zero, with one more zero at the end;
 * - writing keeps the file's line ending (CRLF files stay CRLF; new files get
 *   LF), replaces a key's value in place (keeping the key's spelling), adds a
 *   new key after the last line of its section and a new section at the end.
 * Files are replaced through a temporary file and rename(); writers in one
 * process are serialised by a mutex (not across processes).
 */
#include "internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

std::mutex g_profileMutex;

struct Ini {
  std::vector<std::string> lines;
  std::string eol = "\n";
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string &text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string TrimRight(const std::string &text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  return text.substr(0, end);
}

std::string ProfilePath(LPCSTR file, bool &inWindowsFolder) {
  std::string path = standin::NativePath(file ? file : "win.ini");
  inWindowsFolder = path.find('/') == std::string::npos;
  if (inWindowsFolder) path = standin::RootFolder() + "/windows/" + path;
  return path;
}

/* False (errno set) only for errors other than a missing file. */
bool Load(const std::string &path, Ini &ini) {
  std::string content;
  if (!standin::ReadWholeFile(path, content)) return errno == ENOENT || errno == ENOTDIR;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      ini.eol = "\r\n";
    }
    ini.lines.push_back(line);
    start = end + 1;
  }
  return true;
}

bool ParseSection(const std::string &line, std::string &name) {
  std::string t = Trim(line);
  if (t.empty() || t[0] != '[') return false;
  size_t close = t.find(']');
  name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  return true;
}

bool ParseKey(const std::string &line, std::string &key, std::string &value) {
  std::string t = Trim(line);
  if (t.empty() || t[0] == ';' || t[0] == '[') return false;
  size_t eq = t.find('=');
  if (eq == std::string::npos) {
    key = t;
    value.clear();
  } else {
    key = Trim(t.substr(0, eq));
    value = Trim(t.substr(eq + 1));
  }
  return true;
}

bool FindValue(const Ini &ini, const std::string &section, const std::string &key,
               std::string &value) {
  bool inSection = false;
  std::string name, k, v;
  for (const std::string &line : ini.lines) {
    if (ParseSection(line, name)) {
      inSection = standin::EqualsNoCase(name, section);
    } else if (inSection && ParseKey(line, k, v) && standin::EqualsNoCase(k, key)) {
      if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        v = v.substr(1, v.size() - 2);
      value = v;
      return true;
    }
  }
  return false;
}

void AddName(std::vector<std::string> &names, const std::string &name) {
  for (const std::string &n : names)
    if (standin::EqualsNoCase(n, name)) return;
  names.push_back(name);
}

std::vector<std::string> SectionNames(const Ini &ini) {
  std::vector<std::string> names;
  std::string name;
  for (const std::string &line : ini.lines)
    if (ParseSection(line, name)) AddName(names, name);
  return names;
}

std::vector<std::string> KeyNames(const Ini &ini, const std::string &section) {
  std::vector<std::string> names;
  bool inSection = false;
  std::string name, k, v;
  for (const std::string &line : ini.lines) {
    if (ParseSection(line, name))
      inSection = standin::EqualsNoCase(name, section);
    else if (inSection && ParseKey(line, k, v))
      AddName(names, k);
  }
  return names;
}

DWORD CopyText(const std::string &text, LPSTR buf, DWORD size) {
  DWORD n = static_cast<DWORD>(std::min<size_t>(text.size(), size - 1));
  std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
  return n;
}

/* Names each followed by a zero, then one more zero; when they do not fit,
 * the last one is cut and two zeros end the buffer, returning size - 2. */
DWORD CopyList(const std::vector<std::string> &names, LPSTR buf, DWORD size) {
  std::string all;
  for (const std::string &n : names) {
    all += n;
    all += '\0';
  }
  if (all.size() + 1 <= size) {
    std::memcpy(buf, all.data(), all.size());
    buf[all.size()] = '\0';
    if (all.empty() && size > 1) buf[1] = '\0';
    return static_cast<DWORD>(all.size());
  }
  if (size < 2) {
    buf[0] = '\0';
    return 0;
  }
  std::memcpy(buf, all.data(), size - 2);
  buf[size - 2] = '\0';
  buf[size - 1] = '\0';
  return size - 2;
}

/* The value as GetPrivateProfileStringA gives it; false when missing. */
bool ReadValue(LPCSTR section, LPCSTR key, LPCSTR file, std::string &value) {
  bool inWindowsFolder;
  std::string path = ProfilePath(file, inWindowsFolder);
  Ini ini;
  std::lock_guard<std::mutex> lock(g_profileMutex);
  if (!Load(path, ini)) return false;
  return FindValue(ini, Trim(section), Trim(key), value);
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR def, LPSTR buf, DWORD size,
                               LPCSTR file) {
  if (!buf || size == 0) return 0;
  if (!section || !key) {
    bool inWindowsFolder;
    std::string path = ProfilePath(file, inWindowsFolder);
    Ini ini;
    {
      std::lock_guard<std::mutex> lock(g_profileMutex);
      Load(path, ini);
    }
    return CopyList(section ? KeyNames(ini, Trim(section)) : SectionNames(ini), buf, size);
  }
  std::string value;
  if (ReadValue(section, key, file, value)) return CopyText(value, buf, size);
  DWORD n = CopyText(TrimRight(def ? def : ""), buf, size);
  SetLastError(ERROR_FILE_NOT_FOUND);
  return n;
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT def, LPCSTR file) {
  std::string value;
  if (!section || !key || !ReadValue(section, key, file, value) || value.empty())
    return static_cast<UINT>(def);
  const char *p = value.c_str();
  while (*p && static_cast<unsigned char>(*p) <= ' ') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  unsigned base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  } else if (p[0] == '0' && (p[1] == 'o' || p[1] == 'O')) {
    base = 8;
    p += 2;
  } else if (p[0] == '0' && (p[1] == 'b' || p[1] == 'B')) {
    base = 2;
    p += 2;
  }
  UINT result = 0;
  for (;; ++p) {
    unsigned digit;
    if (*p >= '0' && *p <= '9')
      digit = static_cast<unsigned>(*p - '0');
    else if (*p >= 'a' && *p <= 'f')
      digit = static_cast<unsigned>(*p - 'a' + 10);
    else if (*p >= 'A' && *p <= 'F')
      digit = static_cast<unsigned>(*p - 'A' + 10);
    else
      break;
    if (digit >= base) break;
    result = result * base + digit;
  }
  return negative ? 0u - result : result;
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
  if (!section) {
    if (!key && !value) return TRUE; /* "flush the cache": nothing cached here */
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  bool inWindowsFolder;
  std::string path = ProfilePath(file, inWindowsFolder);
  std::string sectionName = Trim(section);
  std::lock_guard<std::mutex> lock(g_profileMutex);
  Ini ini;
  if (!Load(path, ini)) {
    SetLastError(standin::ErrorFromErrno(errno, &path));
    return FALSE;
  }
  std::vector<std::string> &lines = ini.lines;
  std::string name, k, v;
  bool changed = false;
  if (!key) {
    /* Delete the section (every copy of it) with its lines. */
    std::vector<std::string> kept;
    bool dropping = false;
    for (const std::string &line : lines) {
      if (ParseSection(line, name)) dropping = standin::EqualsNoCase(name, sectionName);
      if (dropping)
        changed = true;
      else
        kept.push_back(line);
    }
    lines.swap(kept);
  } else if (!value) {
    /* Delete the key. */
    std::string keyName = Trim(key);
    std::vector<std::string> kept;
    bool inSection = false;
    for (const std::string &line : lines) {
      if (ParseSection(line, name)) {
        inSection = standin::EqualsNoCase(name, sectionName);
      } else if (inSection && ParseKey(line, k, v) && standin::EqualsNoCase(k, keyName)) {
        changed = true;
        continue;
      }
      kept.push_back(line);
    }
    lines.swap(kept);
  } else {
    std::string keyName = Trim(key);
    size_t header = lines.size();
    for (size_t i = 0; i < lines.size() && header == lines.size(); ++i)
      if (ParseSection(lines[i], name) && standin::EqualsNoCase(name, sectionName)) header = i;
    if (header == lines.size()) {
      if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
      lines.push_back("[" + sectionName + "]");
      lines.push_back(keyName + "=" + value);
    } else {
      size_t insertAt = header + 1;
      bool replaced = false;
      for (size_t i = header + 1; i < lines.size(); ++i) {
        if (ParseSection(lines[i], name)) break;
        if (ParseKey(lines[i], k, v) && standin::EqualsNoCase(k, keyName)) {
          lines[i] = k + "=" + value;
          replaced = true;
          break;
        }
        if (!Trim(lines[i]).empty()) insertAt = i + 1;
      }
      if (!replaced) lines.insert(lines.begin() + static_cast<long>(insertAt), keyName + "=" + value);
    }
    changed = true;
  }
  if (!changed) return TRUE;
  if (inWindowsFolder && !standin::MakeFolders(standin::RootFolder() + "/windows")) {
    SetLastError(standin::ErrorFromErrno(errno));
    return FALSE;
  }
  std::string content;
  for (const std::string &line : lines) content += line + ini.eol;
  if (!standin::ReplaceFile(path, content)) {
    SetLastError(standin::ErrorFromErrno(errno, &path));
    return FALSE;
  }
  return TRUE;
}
