/*
 * module_state.cpp - the plug-in's process-wide state and the functions through
 * which subsystems reach it.
 */
#include "base/module_state.h"

ModuleState g_module;

namespace {

CRITICAL_SECTION *LockOf(ModuleLock lock) {
  if (lock == ModuleLock::Allocation) return &g_module.AllocationLock;
  if (lock == ModuleLock::Decoder) return &g_module.DecoderLock;
  if (lock == ModuleLock::Colour) return &g_module.ColourLock;
  return &g_module.SettingsLock;
}

}  // namespace

void EnterModuleLock(ModuleLock lock) { EnterCriticalSection(LockOf(lock)); }

void LeaveModuleLock(ModuleLock lock) { LeaveCriticalSection(LockOf(lock)); }

HINSTANCE ModuleInstance() { return g_module.instance; }

DWORD ModulePlatformId() { return g_module.platformId; }

DWORD ModuleNestingSlot() { return g_module.nestingSlot; }

SettingsCache *ModuleSettingsCache() { return g_module.settingsCache; }

void SetModuleSettingsCache(SettingsCache *cache) { g_module.settingsCache = cache; }

ColourCache *ModuleColourCache() { return g_module.colourCache; }

void SetModuleColourCache(ColourCache *cache) { g_module.colourCache = cache; }

void AttachModuleState(HINSTANCE instance) {
  g_module.instance = instance;
  InitializeCriticalSection(&g_module.AllocationLock);
  InitializeCriticalSection(&g_module.DecoderLock);
  InitializeCriticalSection(&g_module.SettingsLock);
  InitializeCriticalSection(&g_module.ColourLock);
  g_module.nestingSlot = TlsAlloc();
  g_module.settingsCache = nullptr;
  g_module.colourCache = nullptr;

  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version; /* 148: the ANSI record */
  g_module.platformId = GetVersionExA(&version) ? version.dwPlatformId : 0;
}

void DetachModuleState() {
  if (g_module.nestingSlot != TLS_OUT_OF_INDEXES) TlsFree(g_module.nestingSlot);
  g_module.nestingSlot = TLS_OUT_OF_INDEXES;
  DeleteCriticalSection(&g_module.ColourLock);
  DeleteCriticalSection(&g_module.SettingsLock);
  DeleteCriticalSection(&g_module.DecoderLock);
  DeleteCriticalSection(&g_module.AllocationLock);
}
