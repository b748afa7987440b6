/*
 * process_attach.cpp - process attach and detach, and the DLL entry point.
 */
#include "plugin/process_attach.h"

#include "base/module_state.h"
#include "colour/colour.h"
#include "colour/kernel_choice.h"
#include "plugin/external_decoder.h"
#include "settings/settings.h"

void AttachModule(HINSTANCE instance) {
  AttachModuleState(instance);
  OpenSettingsCache();
  chooseColourKernels();
  openColourCache();
  ClearExternalDecoder();
}

void DetachModule() {
  closeColourCache();
  CloseSettingsCache();
  DetachModuleState();
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH)
    AttachModule(instance);
  else if (reason == DLL_PROCESS_DETACH)
    DetachModule();
  return TRUE;
}
