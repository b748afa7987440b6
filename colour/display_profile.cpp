/*
 * display_profile.cpp - reading the display's profile file.
 */
#include "colour/display_profile.h"

#include <cstdlib>

#include "platform.h"

namespace {

/* The path the system names for the screen, or false. */
bool displayProfilePath(char *path, DWORD size) {
  HDC screen = GetDC(nullptr);
  if (!screen) return false;
  DWORD length = size;
  BOOL named = GetICMProfileA(screen, &length, path);
  ReleaseDC(nullptr, screen);
  return named && length > 0 && path[0] != 0;
}

}  // namespace

void readDisplayProfile(DisplayProfile *profile) {
  profile->bytes = nullptr;
  profile->size = 0;
  char path[MAX_PATH + 1] = {};
  if (!displayProfilePath(path, MAX_PATH)) return;
  path[MAX_PATH] = 0;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD high = 0;
  DWORD size = GetFileSize(file, &high);
  uint8_t *bytes = nullptr;
  if (size != INVALID_FILE_SIZE && high == 0 && size > 0 && size <= kLargestDisplayProfile)
    bytes = static_cast<uint8_t *>(std::malloc(size));
  DWORD read = 0;
  if (bytes && ReadFile(file, bytes, size, &read, nullptr) && read == size) {
    profile->bytes = bytes;
    profile->size = size;
  } else {
    std::free(bytes);
  }
  CloseHandle(file);
}

void freeDisplayProfile(DisplayProfile *profile) {
  std::free(profile->bytes);
  profile->bytes = nullptr;
  profile->size = 0;
}
