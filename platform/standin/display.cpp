/*
 * display.cpp - device contexts of the display (GetDC, ReleaseDC) and the
 * display's colour profile (GetICMProfileA), which a test sets with
 * StandinSetDisplayProfile.
 *
 * A DC is a record handed out by GetDC and freed by ReleaseDC; the live
 * records are listed, so that releasing one twice, or a handle never handed
 * out, fails as on Windows, and tests can count those still held.
 */
#include "internal.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

/* Every DC draws on the one display; nothing about it needs keeping. */
struct StandinDC {};

namespace {

std::mutex g_mutex;                 /* guards the two below */
std::vector<StandinDC *> g_dcs;     /* handed out and not yet released */
std::string g_profile;              /* the display profile's path... */
bool g_hasProfile = false;          /* ...when one is set */

bool IsLiveDC(HDC dc) { return dc && std::find(g_dcs.begin(), g_dcs.end(), dc) != g_dcs.end(); }

}  // namespace

HDC GetDC(HWND window) {
  if (window && !IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  g_dcs.push_back(new StandinDC);
  return g_dcs.back();
}

/* As on Windows, the window is not checked against the DC's. */
int ReleaseDC(HWND, HDC dc) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!IsLiveDC(dc)) return 0;
  g_dcs.erase(std::find(g_dcs.begin(), g_dcs.end(), dc));
  delete dc;
  return 1;
}

BOOL GetICMProfileA(HDC dc, LPDWORD size, LPSTR name) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!IsLiveDC(dc) || !size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!g_hasProfile) return FALSE;
  DWORD needed = static_cast<DWORD>(g_profile.size() + 1);
  if (!name || *size < needed) {
    *size = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(name, g_profile.c_str(), needed);
  *size = needed;
  return TRUE;
}

extern "C" void StandinSetDisplayProfile(const char *path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_hasProfile = path != nullptr;
  g_profile = path ? path : "";
}

extern "C" long StandinLiveDCs(void) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return static_cast<long>(g_dcs.size());
}
