/*
 * display_profile.cpp - finding and reading the display's profile file,
 * from a regular disk file only.
 */
#include "colour/display_profile.h"

#include <cstdlib>
#include <cstring>

#include "platform.h"

namespace {

/* Attributes of a name that is no plain file with its data on the disk:
 * a folder, a device, a reparse point (a link, a mount point, a cloud
 * placeholder), or a file whose data must first be fetched (offline,
 * recalled on open or on access). */
constexpr DWORD kNotAPlainFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE |
                                 FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_OFFLINE |
                                 0x00040000u /* recall on open */ |
                                 0x00400000u /* recall on data access */;

bool isSeparator(char c) { return c == '\\' || c == '/'; }

/* \\.\name and \\?\name (either slash) reach devices and pipes by name, and
 * \??\name the object namespace: none is a plain path to a file. */
bool isDevicePath(const char *path) {
  if (isSeparator(path[0]) && isSeparator(path[1]) && (path[2] == '.' || path[2] == '?') &&
      isSeparator(path[3]))
    return true;
  return path[0] == '\\' && path[1] == '?' && path[2] == '?' && path[3] == '\\';
}

/* The path the system names for the screen, or false. */
bool displayProfilePath(char *path, DWORD size) {
  HDC screen = GetDC(nullptr);
  if (!screen) return false;
  DWORD length = size;
  BOOL named = GetICMProfileA(screen, &length, path);
  ReleaseDC(nullptr, screen);
  path[size - 1] = 0;
  return named && length > 0 && path[0] != 0;
}

/* The open file's size (below 4 GB) and time last written. */
bool sizeAndTime(HANDLE file, uint32_t *size, uint64_t *written) {
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  FILETIME time = {};
  if (low == INVALID_FILE_SIZE || high != 0 || !GetFileTime(file, nullptr, nullptr, &time))
    return false;
  *size = low;
  *written = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return true;
}

/* Opens `path` for reading when it is a regular disk file, and gives its
 * size and time written; INVALID_HANDLE_VALUE otherwise. The name is looked
 * at before it is opened, so that no folder, device or link is opened at
 * all, and the handle after, since a pipe or a port can still hide behind a
 * name that looks like a file. */
HANDLE openRegularFile(const char *path, uint32_t *size, uint64_t *written) {
  if (isDevicePath(path)) return INVALID_HANDLE_VALUE;
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & kNotAPlainFile) != 0)
    return INVALID_HANDLE_VALUE;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  if (GetFileType(file) == FILE_TYPE_DISK && sizeAndTime(file, size, written) && *size > 0 &&
      *size <= kLargestDisplayProfile)
    return file;
  CloseHandle(file);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

bool queryDisplayProfile(DisplayProfileIdentity *identity) {
  std::memset(identity, 0, sizeof *identity);
  if (!displayProfilePath(identity->path, sizeof identity->path)) return false;
  HANDLE file = openRegularFile(identity->path, &identity->size, &identity->written);
  if (file == INVALID_HANDLE_VALUE) {
    std::memset(identity, 0, sizeof *identity);
    return false;
  }
  CloseHandle(file);
  return true;
}

bool sameDisplayProfile(const DisplayProfileIdentity &a, const DisplayProfileIdentity &b) {
  return a.size == b.size && a.written == b.written && std::strcmp(a.path, b.path) == 0;
}

bool readDisplayProfileAs(const DisplayProfileIdentity &identity, DisplayProfile *profile) {
  profile->bytes = nullptr;
  profile->size = 0;
  if (identity.path[0] == 0 || identity.path[sizeof identity.path - 1] != 0) return false;
  uint32_t size = 0;
  uint64_t written = 0;
  HANDLE file = openRegularFile(identity.path, &size, &written);
  if (file == INVALID_HANDLE_VALUE) return false;
  uint8_t *bytes = nullptr;
  if (size == identity.size && written == identity.written)
    bytes = static_cast<uint8_t *>(std::malloc(size));
  DWORD read = 0;
  uint32_t sizeAfter = 0;
  uint64_t writtenAfter = 0;
  /* Checked again after the read: a file rewritten meanwhile may have given
   * a mix of its old and new bytes. */
  if (bytes && ReadFile(file, bytes, size, &read, nullptr) && read == size &&
      sizeAndTime(file, &sizeAfter, &writtenAfter) && sizeAfter == size &&
      writtenAfter == written) {
    profile->bytes = bytes;
    profile->size = size;
  } else {
    std::free(bytes);
  }
  CloseHandle(file);
  return profile->bytes != nullptr;
}

void freeDisplayProfile(DisplayProfile *profile) {
  std::free(profile->bytes);
  profile->bytes = nullptr;
  profile->size = 0;
}
