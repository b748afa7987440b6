/*
 * internal.h - helpers shared by the stand-in's sources (not installed, not
 * for product code).
 */
#ifndef MOVRELA_STANDIN_INTERNAL_H
#define MOVRELA_STANDIN_INTERNAL_H

#include "win32.h"

#include <string>
#include <vector>

#pragma GCC visibility push(hidden)
namespace standin {

/* Win32 error code for an errno value from a file-system call. `path`, when
 * given, lets ENOENT tell a missing file from a missing folder. */
DWORD ErrorFromErrno(int err, const std::string *path = nullptr);

/* The MOVRELA_WINROOT folder (read now), without a trailing slash. */
std::string RootFolder();

/* Backslashes turned into slashes. */
std::string NativePath(const char *name);

/* ASCII letter-case folding. */
char FoldCase(char c);
std::string Lowercase(const std::string &text);
bool EqualsNoCase(const std::string &a, const std::string &b);

/* Creates `path` and its missing parents; errno set on failure. */
bool MakeFolders(const std::string &path);
bool IsFolder(const std::string &path);

/* Reads a whole file. Returns false with errno set (ENOENT for a missing
 * file). */
bool ReadWholeFile(const std::string &path, std::string &content);

/* Replaces `path` by `content` through a temporary file in the same folder
 * and rename(), so that readers see the old or the new file, never a part.
 * Keeps the permissions of an existing file. False with errno set. */
bool ReplaceFile(const std::string &path, const std::string &content);

/* An exclusive flock() on a lock file, held for the object's lifetime
 * (serialises writers in different processes). */
class InterProcessLock {
 public:
  explicit InterProcessLock(const std::string &lockFile);
  ~InterProcessLock();
  InterProcessLock(const InterProcessLock &) = delete;
  InterProcessLock &operator=(const InterProcessLock &) = delete;

 private:
  int fd_;
};

/* Events (events.cpp). CloseEvent is CloseHandle for an event: false when
 * `handle` is none. */
bool IsEvent(HANDLE handle);
bool CloseEvent(HANDLE handle);

/* Registry notifications (registry.cpp): sets the events of registrations
 * whose keys have changed since they were made, and drops those
 * registrations; forgets the registrations that would set `event`. */
void DeliverRegistryNotifications();
void ForgetRegistryNotifications(HANDLE event);

}  // namespace standin
#pragma GCC visibility pop

#endif /* MOVRELA_STANDIN_INTERNAL_H */
