/*
 * screenshot.h - the window suites' half of the screenshot handshake with
 * their runner (screenshot.sh): the program writes a window's rectangle as
 * BASE.ready and waits until the runner, having taken the picture, answers
 * with BASE.done. Windows build only.
 */
#ifndef MOVRELA_TEST_SCREENSHOT_H
#define MOVRELA_TEST_SCREENSHOT_H

#include <cstdio>
#include <string>

#include "platform.h"

namespace suite {

/* Hands `r` to the runner as BASE.ready (left top width height) and waits
 * up to 30 seconds for BASE.done. */
inline void HandOverScreenshot(const std::string &base, const RECT &r) {
  char line[64];
  int n = std::snprintf(line, sizeof line, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left,
                        r.bottom - r.top);
  HANDLE file = CreateFileA((base + ".tmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
  CloseHandle(file);
  MoveFileExA((base + ".tmp").c_str(), (base + ".ready").c_str(), MOVEFILE_REPLACE_EXISTING);
  for (int i = 0;
       i < 600 && GetFileAttributesA((base + ".done").c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
    Sleep(50);
  DeleteFileA((base + ".done").c_str());
}

}  // namespace suite

#endif /* MOVRELA_TEST_SCREENSHOT_H */
