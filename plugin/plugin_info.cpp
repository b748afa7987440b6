/*
 * plugin_info.cpp - GetPluginInfo: the identification, name, file patterns
 * and descriptions the host asks for by index.
 */
#include <cstdio>
#include <cstring>

#include "plugin/exports.h"
#include "base/module_state.h"
#include "containers/detect.h"
#include "base/request_records.h"
#include "resources/resource.h"
#include "settings/settings.h"

const char kPluginVersionText[] = "Talvo JPEG Filter Ver0.04 based on QUORELV6.MQF V0.11 by doru";

namespace {

/* Copies `text` with its terminator when it fits in fewer than `bufferSize`
 * bytes; otherwise exactly `bufferSize` bytes, without a terminator. */
int32_t CopyInfoString(const char *text, char *buf, int32_t bufferSize) {
  int32_t n = static_cast<int32_t>(std::strlen(text)) + 1;
  int32_t count = n < bufferSize ? n : bufferSize;
  std::memcpy(buf, text, static_cast<size_t>(count));
  return count;
}

/* The enabled kinds' file patterns (";" between) or display names ("/"
 * between), in table order. */
void KindsText(const PluginSettings &settings, bool patterns, char *text, size_t size) {
  size_t length = 0;
  text[0] = 0;
  for (const ContainerHandler &kind : ContainerHandlers) {
    if (!containerEnabled(kind, settings)) continue;
    int n = std::snprintf(text + length, size - length, "%s%s", length ? (patterns ? ";" : "/") : "",
                          patterns ? kind.patterns : kind.name);
    if (n < 0 || static_cast<size_t>(n) >= size - length) {
      text[length] = 0; /* a name that does not fit is left out whole, not cut */
      return;
    }
    length += static_cast<size_t>(n);
  }
}

int32_t UserMask(char *buf, int32_t bufferSize) {
  char mask[kSettingTextBuffer];
  int32_t enabled = LoadUserMask(mask);
  int32_t length = static_cast<int32_t>(std::strlen(mask));
  int32_t n = length > 0 ? length + 1 : 0;
  if (enabled == 0 || n == 0) return 0;
  if (buf == nullptr) return n; /* the size the host has to offer */
  if (bufferSize <= 0) return 0;
  int32_t count = bufferSize < n ? bufferSize : n;
  std::memcpy(buf, mask, static_cast<size_t>(count));
  return count;
}

int32_t UserMaskDescription(char *buf, int32_t bufferSize) {
  char mask[kSettingTextBuffer];
  if (LoadUserMask(mask) == 0) return 0;
  if (buf == nullptr || bufferSize <= 0) return 0;

  char text[1024];
  LoadStringA(ModuleInstance(), IDS_USER_EXT_DESCRIPTION, text, sizeof text);
  int32_t length = static_cast<int32_t>(std::strlen(text));
  if (bufferSize >= length + 1) {
    std::memcpy(buf, text, static_cast<size_t>(length) + 1);
    return length + 1;
  }
  std::memcpy(buf, text, static_cast<size_t>(bufferSize) - 1);
  buf[bufferSize - 1] = 0;
  return bufferSize;
}

}  // namespace

PLUGIN_EXPORT int32_t WINAPI GetPluginInfo(int32_t infoIndex, char *buf, int32_t bufferSize) {
  if (infoIndex == 4) return UserMask(buf, bufferSize);
  if (infoIndex == 5) return UserMaskDescription(buf, bufferSize);
  if (infoIndex < 0 || infoIndex > 3 || buf == nullptr || bufferSize <= 0) return 0;

  char text[128];
  switch (infoIndex) {
    case 0:
      return CopyInfoString("00IN", buf, bufferSize);
    case 1:
      return CopyInfoString(kPluginVersionText, buf, bufferSize);
    default: {
      PluginSettings settings;
      LoadSettings(ModuleInstance(), &settings);
      KindsText(settings, infoIndex == 2, text, sizeof text);
      return CopyInfoString(text, buf, bufferSize);
    }
  }
}
