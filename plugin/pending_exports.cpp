/*
 * pending_exports.cpp - the exports whose work is not built yet. Each gives
 * the host a clear answer: not supported, or NotImplemented.
 */
#include "plugin/records.h"

PLUGIN_EXPORT int32_t WINAPI ConfigurationDlg(HWND /*parent*/, int32_t /*function*/) {
  return NotImplemented;
}
