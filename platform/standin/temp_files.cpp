/*
 * temp_files.cpp - the user's temporary folder, unique temporary files, file
 * deletion and the free space of a disk.
 *
 * The temporary folder is MOVRELA_WINROOT/temp/, made on first use. A file
 * opened with FILE_FLAG_DELETE_ON_CLOSE (files.cpp) leaves its folder at
 * once, as POSIX allows, so that nothing is left whatever way its handle
 * ends. Free space is the file system's, or what StandinSetFreeDiskSpace
 * set.
 */
#include "internal.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

std::atomic<long long> g_freeSpace(-1);
std::atomic<unsigned> g_nextUnique(1);

UINT CopyOut(const std::string &text, LPSTR buf, UINT size) {
  if (!buf || size <= text.size()) return static_cast<UINT>(text.size() + 1);
  std::memcpy(buf, text.c_str(), text.size() + 1);
  return static_cast<UINT>(text.size());
}

}  // namespace

DWORD GetTempPathA(DWORD size, LPSTR buf) {
  std::string folder = standin::RootFolder() + "/temp";
  if (!standin::MakeFolders(folder)) {
    SetLastError(standin::ErrorFromErrno(errno));
    return 0;
  }
  return CopyOut(folder + "/", buf, size);
}

UINT GetTempFileNameA(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR name) {
  if (!folder || !name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string base = folder;
  if (!base.empty() && base.back() != '/' && base.back() != '\\') base += '/';
  if (prefix) base += std::string(prefix).substr(0, 3);
  for (int attempt = 0; attempt < 0x10000; ++attempt) {
    const UINT number = unique ? unique : (g_nextUnique++ & 0xFFFF);
    if (number == 0) continue;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%X.tmp", number);
    const std::string path = base + suffix;
    if (path.size() >= MAX_PATH) {
      SetLastError(ERROR_BUFFER_OVERFLOW);
      return 0;
    }
    if (unique == 0) {
      /* A new, empty file of that name, as Win32 makes. */
      const int fd = ::open(standin::NativePath(path.c_str()).c_str(), O_CREAT | O_EXCL | O_WRONLY, 0666);
      if (fd < 0 && errno == EEXIST) continue;
      if (fd < 0) {
        SetLastError(standin::ErrorFromErrno(errno, &path));
        return 0;
      }
      ::close(fd);
    }
    std::memcpy(name, path.c_str(), path.size() + 1);
    return number;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}

BOOL DeleteFileA(LPCSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string path = standin::NativePath(name);
  if (::unlink(path.c_str()) != 0) {
    SetLastError(standin::ErrorFromErrno(errno, &path));
    return FALSE;
  }
  return TRUE;
}

BOOL GetDiskFreeSpaceExA(LPCSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree) {
  struct statvfs disk;
  const std::string path = standin::NativePath(folder ? folder : ".");
  if (::statvfs(path.c_str(), &disk) != 0) {
    SetLastError(standin::ErrorFromErrno(errno, &path));
    return FALSE;
  }
  const long long set = g_freeSpace.load();
  const unsigned long long free =
      set >= 0 ? static_cast<unsigned long long>(set)
               : static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize;
  if (available) available->QuadPart = free;
  if (totalFree) totalFree->QuadPart = free;
  if (total) total->QuadPart = static_cast<unsigned long long>(disk.f_blocks) * disk.f_frsize;
  return TRUE;
}

extern "C" void StandinSetFreeDiskSpace(long long bytes) { g_freeSpace = bytes; }
