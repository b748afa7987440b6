/*
 * base.cpp - last error, the root folder, file-system helpers, common
 * controls.
 */
#include "internal.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

DWORD GetLastError(void) { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

void InitCommonControls(void) {}

namespace standin {

DWORD ErrorFromErrno(int err, const std::string *path) {
  switch (err) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      if (path) {
        std::string::size_type slash = path->find_last_of('/');
        if (slash != std::string::npos && slash > 0 && !IsFolder(path->substr(0, slash)))
          return ERROR_PATH_NOT_FOUND;
      }
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return ERROR_DISK_FULL;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    default:
      return ERROR_GEN_FAILURE;
  }
}

std::string RootFolder() {
  std::string root;
  const char *env = std::getenv("MOVRELA_WINROOT");
  if (env && *env) {
    root = env;
  } else {
    const char *home = std::getenv("HOME");
    std::string homeDir;
    if (home && *home) {
      homeDir = home;
    } else {
      struct passwd pw, *found = nullptr;
      char buf[4096];
      if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir)
        homeDir = found->pw_dir;
      else
        homeDir = "/tmp";
    }
    root = homeDir + "/.movrela-winroot";
  }
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

std::string NativePath(const char *name) {
  std::string path = name ? name : "";
  /* Every drive is the one file system, as Wine's Z: drive is: "Z:\a\b" is
   * "/a/b". A drive-relative "C:name" stays a name. */
  if (path.size() > 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
      (path[2] == '\\' || path[2] == '/'))
    path.erase(0, 2);
  for (char &c : path)
    if (c == '\\') c = '/';
  return path;
}

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lowercase(const std::string &text) {
  std::string out(text);
  for (char &c : out) c = FoldCase(c);
  return out;
}

bool EqualsNoCase(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (std::string::size_type i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

bool IsFolder(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFolders(const std::string &path) {
  if (path.empty()) return true;
  if (IsFolder(path)) return true;
  std::string::size_type slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    if (!MakeFolders(path.substr(0, slash))) return false;
  }
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  if (errno == EEXIST && IsFolder(path)) return true;
  return false;
}

bool ReadWholeFile(const std::string &path, std::string &content) {
  content.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return false;
  }
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int saved = errno;
      ::close(fd);
      errno = saved;
      return false;
    }
    if (n == 0) break;
    content.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

bool ReplaceFile(const std::string &path, const std::string &content) {
  static std::atomic<unsigned long> counter{0};
  std::string temp = path + ".tmp." + std::to_string(::getpid()) + "." +
                     std::to_string(counter.fetch_add(1));
  mode_t mode = 0666;
  struct stat st;
  bool keepMode = ::stat(path.c_str(), &st) == 0;
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  if (keepMode) (void)::fchmod(fd, st.st_mode & 07777);
  const char *data = content.data();
  size_t left = content.size();
  while (left > 0) {
    ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      int saved = errno;
      ::close(fd);
      ::unlink(temp.c_str());
      errno = saved;
      return false;
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  if (::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
    int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    return false;
  }
  return true;
}

InterProcessLock::InterProcessLock(const std::string &lockFile)
    : fd_(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
  if (fd_ >= 0) {
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
}

InterProcessLock::~InterProcessLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace standin

extern "C" const char *StandinRootFolder(void) {
  /* Read at every call; the text stays valid until this thread's next call. */
  thread_local std::string folder;
  folder = standin::RootFolder();
  return folder.c_str();
}
