/*
 * fuzz_setup.h - what every fuzz target does once: attach the plug-in's
 * module state (its lock and backend) as the host's process would.
 */
#ifndef MOVRELA_FUZZ_SETUP_H
#define MOVRELA_FUZZ_SETUP_H

#include <cstdlib>

#include "plugin/module.h"
#include "settings/settings.h"

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

#endif /* MOVRELA_FUZZ_SETUP_H */
