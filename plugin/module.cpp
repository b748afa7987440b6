/*
 * module.cpp - the plug-in's process-wide state and its DLL entry point.
 */
#include "base/module.h"

#include <new>

#include "plugin/external_decoder.h"
#include "settings/settings.h"

ModuleState g_module;

void AttachModule(HINSTANCE instance) {
  g_module.instance = instance;
  InitializeCriticalSection(&g_module.AllocationLock);
  InitializeCriticalSection(&g_module.DecoderLock);
  InitializeCriticalSection(&g_module.SettingsLock);
  g_module.nestingSlot = TlsAlloc();
  g_module.settingsCache = new (std::nothrow) SettingsCache();

  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version; /* 148: the ANSI record */
  g_module.platformId = GetVersionExA(&version) ? version.dwPlatformId : 0;

  ClearExternalDecoder();
}

void DetachModule() {
  CloseSettingsCache();
  delete g_module.settingsCache;
  g_module.settingsCache = nullptr;
  if (g_module.nestingSlot != TLS_OUT_OF_INDEXES) TlsFree(g_module.nestingSlot);
  g_module.nestingSlot = TLS_OUT_OF_INDEXES;
  DeleteCriticalSection(&g_module.SettingsLock);
  DeleteCriticalSection(&g_module.DecoderLock);
  DeleteCriticalSection(&g_module.AllocationLock);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH)
    AttachModule(instance);
  else if (reason == DLL_PROCESS_DETACH)
    DetachModule();
  return TRUE;
}
