/*
 * store.h - writes values into the per-user registry the way other tools
 * (or the user by hand) would, for suites that prepare settings.
 */
#ifndef MOVRELA_TEST_STORE_H
#define MOVRELA_TEST_STORE_H

#include <cstdint>
#include <cstring>
#include <string>

#include "base/plugin_settings.h"
#include "harness.h"

namespace store {

inline bool SetRaw(const char *key, const char *name, DWORD type, const void *data, DWORD size) {
  HKEY handle;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                      nullptr, &handle, nullptr) != ERROR_SUCCESS) {
    suite::Report(__FILE__, __LINE__, std::string("cannot create ") + key);
    return false;
  }
  LONG status = RegSetValueExA(handle, name, 0, type, static_cast<const BYTE *>(data), size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS) suite::Report(__FILE__, __LINE__, std::string("cannot set ") + name);
  return status == ERROR_SUCCESS;
}

inline bool SetNumber(const char *key, const char *name, int32_t value) {
  return SetRaw(key, name, REG_DWORD, &value, sizeof value);
}

/* A REG_SZ value, stored with or without its terminating zero. The
 * registry adds a forgotten terminator when the caller's string ends right
 * after the counted bytes; a non-zero byte there keeps it out. */
inline bool SetText(const char *key, const char *name, const char *text, bool withTerminator) {
  std::string bytes(text);
  bytes += withTerminator ? '\0' : '#';
  return SetRaw(key, name, REG_SZ, bytes.data(),
                static_cast<DWORD>(std::strlen(text) + (withTerminator ? 1 : 0)));
}

/* A REG_SZ value as the settings dialog stores it, terminator counted. */
inline bool SetText(const char *key, const char *name, const std::string &text) {
  return SetText(key, name, text.c_str(), true);
}

/* Reads a value back: its type and raw bytes. False when it is missing. */
inline bool Get(const char *key, const char *name, DWORD *type, std::string *bytes) {
  HKEY handle;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  char data[2048];
  DWORD size = sizeof data;
  LONG status = RegQueryValueExA(handle, name, nullptr, type, reinterpret_cast<BYTE *>(data), &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS) return false;
  bytes->assign(data, size);
  return true;
}

inline bool KeyExists(const char *key) {
  HKEY handle;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

/* Settings unlike the defaults in every field, with values no control of
 * the dialog can show (a method outside 0..2, edges outside 0..100, 4:3)
 * and a mask with blanks behind it. */
inline PluginSettings Unusual() {
  PluginSettings s = {};
  s.DCTMethod = 7;
  s.UserDefineExtention = 1;
  s.ColorSelect = 7;
  s.PreviewSize = 8;
  s.ExifPreviewLevel = 14;
  s.ColorManagement = 2;
  std::strcpy(s.ExtentionMask, "*.JPE;*.JFIF  ");
  std::strcpy(s.JPEGPlugin, "C:\\Program Files\\Orvid\\plug-in\\QUOREL2.MQF");
  s.AspectX = 4;
  s.AspectY = 3;
  s.Top = -1;
  s.Bottom = 100;
  s.Left = 150;
  s.Right = 2147483647;
  return s; /* every switch off */
}

}  // namespace store

#endif /* MOVRELA_TEST_STORE_H */
