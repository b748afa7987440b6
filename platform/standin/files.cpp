/*
 * files.cpp - CreateFileA and friends over POSIX descriptors.
 *
 * A handle is (slot + 1) * 4: a small value below 0x10000, never 0 and never
 * INVALID_HANDLE_VALUE, so callers can tell it from a pointer. Each slot holds
 * a shared entry; the descriptor closes when CloseHandle has removed the
 * entry and no call on another thread still uses it. Share modes are not
 * enforced (POSIX has no such locks); overlapped I/O is not supported.
 *
 * Every file is opened without blocking, so that a FIFO opens at once
 * instead of waiting for a writer (Windows opens a pipe's client end at
 * once). A regular file then blocks as usual; a FIFO or a device stays
 * non-blocking, so that a read there answers at once instead of waiting.
 */
#include "internal.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct OpenFile {
  explicit OpenFile(int descriptor) : fd(descriptor) {}
  ~OpenFile() { ::close(fd); }
  OpenFile(const OpenFile &) = delete;
  OpenFile &operator=(const OpenFile &) = delete;
  int fd;
};

constexpr size_t kMaxSlots = 0x10000 / 4 - 1; /* handles stay below 0x10000 */

std::mutex g_filesMutex;
std::vector<std::shared_ptr<OpenFile>> g_files; /* by slot; null = free */
long g_openCount = 0;

HANDLE HandleOfSlot(size_t slot) { return reinterpret_cast<HANDLE>((slot + 1) * 4); }

bool SlotOfHandle(HANDLE h, size_t &slot) {
  uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (v == 0 || v >= 0x10000 || (v & 3) != 0) return false;
  slot = v / 4 - 1;
  return true;
}

std::shared_ptr<OpenFile> Lookup(HANDLE h) {
  size_t slot;
  if (!SlotOfHandle(h, slot)) return nullptr;
  std::lock_guard<std::mutex> lock(g_filesMutex);
  if (slot >= g_files.size()) return nullptr;
  return g_files[slot];
}

/* Registers a descriptor; closes it and returns INVALID_HANDLE_VALUE when no
 * slot is left. */
HANDLE Register(int fd) {
  auto entry = std::make_shared<OpenFile>(fd);
  std::lock_guard<std::mutex> lock(g_filesMutex);
  size_t slot = 0;
  while (slot < g_files.size() && g_files[slot]) ++slot;
  if (slot >= kMaxSlots) {
    SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return INVALID_HANDLE_VALUE;
  }
  if (slot == g_files.size()) g_files.emplace_back();
  g_files[slot] = std::move(entry);
  ++g_openCount;
  return HandleOfSlot(slot);
}

/* Read or write failures: EBADF on a valid handle means the wrong access. */
DWORD IoError(int err) {
  return err == EBADF ? static_cast<DWORD>(ERROR_ACCESS_DENIED) : standin::ErrorFromErrno(err);
}

}  // namespace

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                   DWORD disposition, DWORD flags, HANDLE templ) {
  (void)share;
  (void)sa;
  (void)templ;
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string path = standin::NativePath(name);
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  bool canRead = (access & (GENERIC_READ | GENERIC_ALL)) != 0;
  bool canWrite = (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
  int mode = canWrite ? (canRead ? O_RDWR : O_WRONLY) : O_RDONLY;
  mode |= O_CLOEXEC | O_NONBLOCK;

  int fd = -1;
  bool existed = false;
  switch (disposition) {
    case CREATE_NEW:
      fd = ::open(path.c_str(), mode | O_CREAT | O_EXCL, 0666);
      break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS: {
      int extra = disposition == CREATE_ALWAYS ? O_TRUNC : 0;
      for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        fd = ::open(path.c_str(), mode | extra);
        if (fd >= 0) {
          existed = true;
          break;
        }
        if (errno != ENOENT) break;
        fd = ::open(path.c_str(), mode | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno != EEXIST) break;
      }
      break;
    }
    case OPEN_EXISTING:
      fd = ::open(path.c_str(), mode);
      existed = true;
      break;
    case TRUNCATE_EXISTING:
      if (!canWrite) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      fd = ::open(path.c_str(), mode | O_TRUNC);
      existed = true;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  if (fd < 0) {
    SetLastError(standin::ErrorFromErrno(errno, &path));
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) st.st_mode = 0;
  if (S_ISDIR(st.st_mode)) {
    /* Win32 opens no folder without FILE_FLAG_BACKUP_SEMANTICS. */
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (S_ISREG(st.st_mode)) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  HANDLE h = Register(fd);
  if (h == INVALID_HANDLE_VALUE) return h;
  if (flags & FILE_FLAG_DELETE_ON_CLOSE) ::unlink(path.c_str()); /* temp_files.cpp */
  if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  else
    SetLastError(ERROR_SUCCESS);
  return h;
}

BOOL ReadFile(HANDLE file, LPVOID buf, DWORD toRead, LPDWORD read, LPOVERLAPPED ov) {
  if (read) *read = 0;
  if (ov) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::shared_ptr<OpenFile> f = Lookup(file);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!buf && toRead > 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD done = 0;
  char *out = static_cast<char *>(buf);
  while (done < toRead) {
    ssize_t n = ::read(f->fd, out + done, toRead - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (read) *read = done;
      SetLastError(IoError(errno));
      return FALSE;
    }
    if (n == 0) break; /* end of file: success with what was read */
    done += static_cast<DWORD>(n);
  }
  if (read) *read = done;
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buf, DWORD toWrite, LPDWORD written, LPOVERLAPPED ov) {
  if (written) *written = 0;
  if (ov) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::shared_ptr<OpenFile> f = Lookup(file);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!buf && toWrite > 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD done = 0;
  const char *in = static_cast<const char *>(buf);
  while (done < toWrite) {
    ssize_t n = ::write(f->fd, in + done, toWrite - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (written) *written = done;
      SetLastError(IoError(errno));
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (written) *written = done;
  return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
  std::shared_ptr<OpenFile> f = Lookup(file);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t move = distanceHigh
                     ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                            static_cast<uint32_t>(distance))
                     : static_cast<int64_t>(distance);
  int64_t base = 0;
  if (method == FILE_BEGIN) {
    base = 0;
  } else if (method == FILE_CURRENT) {
    off_t cur = ::lseek(f->fd, 0, SEEK_CUR);
    if (cur < 0) {
      SetLastError(standin::ErrorFromErrno(errno));
      return INVALID_SET_FILE_POINTER;
    }
    base = cur;
  } else if (method == FILE_END) {
    struct stat st;
    if (::fstat(f->fd, &st) != 0) {
      SetLastError(standin::ErrorFromErrno(errno));
      return INVALID_SET_FILE_POINTER;
    }
    base = st.st_size;
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if ((move > 0 && base > INT64_MAX - move)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t target = base + move;
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  if (!distanceHigh && target > 0xFFFFFFFFLL) {
    /* Without a high part the new position must fit in 32 bits. */
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (::lseek(f->fd, static_cast<off_t>(target), SEEK_SET) < 0) {
    SetLastError(standin::ErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
  /* Callers tell a position of 0xFFFFFFFF from failure by NO_ERROR. */
  SetLastError(NO_ERROR);
  return static_cast<DWORD>(target & 0xFFFFFFFFu);
}

DWORD GetFileSize(HANDLE file, LPDWORD high) {
  std::shared_ptr<OpenFile> f = Lookup(file);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  struct stat st;
  if (::fstat(f->fd, &st) != 0) {
    SetLastError(standin::ErrorFromErrno(errno));
    return INVALID_FILE_SIZE;
  }
  uint64_t size = static_cast<uint64_t>(st.st_size);
  if (high) *high = static_cast<DWORD>(size >> 32);
  SetLastError(NO_ERROR);
  return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL CloseHandle(HANDLE object) {
  size_t slot;
  std::shared_ptr<OpenFile> entry;
  if (!SlotOfHandle(object, slot)) {
    if (standin::CloseEvent(object)) return TRUE; /* the only other kind of handle */
  } else {
    std::lock_guard<std::mutex> lock(g_filesMutex);
    if (slot < g_files.size() && g_files[slot]) {
      entry = std::move(g_files[slot]);
      g_files[slot].reset();
      --g_openCount;
    }
  }
  if (!entry) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE; /* the descriptor closes with the last reference */
}

DWORD GetFileType(HANDLE file) {
  std::shared_ptr<OpenFile> f = Lookup(file);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
  }
  struct stat st;
  if (::fstat(f->fd, &st) != 0) {
    SetLastError(standin::ErrorFromErrno(errno));
    return FILE_TYPE_UNKNOWN;
  }
  /* Callers tell an unknown kind from failure by NO_ERROR. */
  SetLastError(NO_ERROR);
  if (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(st.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_UNKNOWN;
}

namespace {

/* Seconds from 1 January 1601 to 1 January 1970. */
constexpr uint64_t kFileTimeToUnixEpoch = 11644473600ull;

FILETIME FileTimeOf(const struct timespec &t) {
  uint64_t ticks = (static_cast<uint64_t>(t.tv_sec) + kFileTimeToUnixEpoch) * 10000000u +
                   static_cast<uint64_t>(t.tv_nsec) / 100u;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace

BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME write) {
  std::shared_ptr<OpenFile> f = Lookup(file);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  struct stat st;
  if (::fstat(f->fd, &st) != 0) {
    SetLastError(standin::ErrorFromErrno(errno));
    return FALSE;
  }
  if (creation) *creation = FileTimeOf(st.st_ctim);
  if (access) *access = FileTimeOf(st.st_atim);
  if (write) *write = FileTimeOf(st.st_mtim);
  return TRUE;
}

DWORD GetFileAttributesA(LPCSTR name) {
  std::string path = standin::NativePath(name);
  if (path.empty()) {
    SetLastError(name ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    SetLastError(standin::ErrorFromErrno(errno, &path));
    return INVALID_FILE_ATTRIBUTES;
  }
  if (S_ISLNK(st.st_mode)) {
    struct stat target;
    bool folder = ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    return FILE_ATTRIBUTE_REPARSE_POINT | (folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE);
  }
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return FILE_ATTRIBUTE_DEVICE;
  return FILE_ATTRIBUTE_ARCHIVE;
}

extern "C" long StandinOpenFiles(void) {
  std::lock_guard<std::mutex> lock(g_filesMutex);
  return g_openCount;
}
