/*
 * fuzz_setup.h - what every fuzz target does once: attach the plug-in's
 * module state (its lock and backend) as the host's process would.
 */
#ifndef MOVRELA_FUZZ_SETUP_H
#define MOVRELA_FUZZ_SETUP_H

#include <cstdint>
#include <cstdlib>

#include "base/module_state.h"
#include "plugin/process_attach.h"
#include "settings/settings.h"
#include "store.h"

inline const PluginSettings &FuzzSettings() {
  static PluginSettings settings;
  static bool ready = false;
  if (!ready) {
    if (!std::getenv("MOVRELA_WINROOT")) setenv("MOVRELA_WINROOT", "/tmp/movrela-fuzz-root", 1);
    AttachModule(StandinSelfModule());
    LoadSettings(g_module.instance, &settings);
    settings.ReportDialog = 0; /* no prompt: a damaged file decodes silently */
    ready = true;
  }
  return settings;
}

/* The picture targets' settings: the wrapped plug-in at `path`, and no
 * broken-file prompt. */
inline void FuzzDecoder(const char *path) {
  FuzzSettings();
  store::SetText("Software\\Doru\\movrela", "JPEGPlug-in", path, true);
  store::SetNumber("Software\\Doru\\movrela", "ReportDialog", 0);
}

/* True when no frame header in the input declares more than `most` pixels
 * (1 million unless told): larger pictures are passed over, so that runs
 * stay fast and within the fuzzer's memory limit. */
inline bool SmallEnough(const uint8_t *data, size_t size, uint64_t most = 1000000u) {
  for (size_t i = 0; i + 8 < size; ++i) {
    if (data[i] == 0xFF && data[i + 1] >= 0xC0 && data[i + 1] <= 0xCF && data[i + 1] != 0xC4 &&
        data[i + 1] != 0xC8 && data[i + 1] != 0xCC) {
      uint32_t height = (data[i + 5] << 8) | data[i + 6];
      uint32_t width = (data[i + 7] << 8) | data[i + 8];
      if (uint64_t(width) * height > most) return false;
    }
  }
  return true;
}

#endif /* MOVRELA_FUZZ_SETUP_H */
