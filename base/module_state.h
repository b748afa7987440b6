/*
 * module_state.h - process-wide state of the plug-in, set up when the host
 * attaches the library to its process and torn down at detach.
 *
 * Subsystems reach the state through the functions below, never through
 * its fields. The whole attach and detach (which also open and close the
 * settings cache and clear the external decoder record) are the plug-in's
 * (plugin/process_attach.h); this is their base part.
 */
#ifndef MOVRELA_MODULE_STATE_H
#define MOVRELA_MODULE_STATE_H

#include "platform.h"

struct SettingsCache; /* settings/settings.h */
struct ColourCache;   /* colour/transform_cache.h */

struct ModuleState {
  HINSTANCE instance;              /* for string and dialog resources */
  CRITICAL_SECTION AllocationLock; /* around every allocation made for libjpeg */
  CRITICAL_SECTION DecoderLock;    /* around the external decoder record and its holds */
  CRITICAL_SECTION SettingsLock;   /* around settingsCache */
  CRITICAL_SECTION ColourLock;     /* around colourCache */
  DWORD platformId;                /* version query's platform id; 0 selects INI mode */
  DWORD nestingSlot;               /* thread-local slot: this thread's calls into the
                                      external decoder in progress; TLS_OUT_OF_INDEXES
                                      when none could be had */
  SettingsCache *settingsCache;    /* registry mode: the store as last read, and its
                                      watch; null: the store is read at every call */
  ColourCache *colourCache;        /* the colour transforms last used; null: none kept */
};

extern ModuleState g_module;

/* The module's four locks. */
enum class ModuleLock { Allocation, Decoder, Settings, Colour };

void EnterModuleLock(ModuleLock lock);
void LeaveModuleLock(ModuleLock lock);

/* The module instance, for string and dialog resources. */
HINSTANCE ModuleInstance();

/* The platform id recorded at attach; 0 selects INI mode. */
DWORD ModulePlatformId();

/* The thread-local nesting slot; TLS_OUT_OF_INDEXES when there is none. */
DWORD ModuleNestingSlot();

/* The settings cache (null when there is none) and its owner's way to set
 * it; read and changed under ModuleLock::Settings once requests run. */
SettingsCache *ModuleSettingsCache();
void SetModuleSettingsCache(SettingsCache *cache);

/* The colour transform cache (null when there is none) and its owner's way
 * to set it; read and changed under ModuleLock::Colour once requests run. */
ColourCache *ModuleColourCache();
void SetModuleColourCache(ColourCache *cache);

/* Process attach, base part: stores the instance, creates the four locks
 * and the nesting slot, and records the platform id (0 when the version
 * query fails). The settings cache stays empty. */
void AttachModuleState(HINSTANCE instance);

/* Process detach, base part: frees the nesting slot and deletes the locks.
 * The settings cache must be gone already. */
void DetachModuleState();

#endif /* MOVRELA_MODULE_STATE_H */
