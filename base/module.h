/*
 * module.h - process-wide state of the plug-in, set up when the host
 * attaches the library to its process and torn down at detach.
 */
#ifndef MOVRELA_MODULE_H
#define MOVRELA_MODULE_H

#include "platform.h"

struct SettingsCache; /* settings/settings.h */

struct ModuleState {
  HINSTANCE instance;              /* for string and dialog resources */
  CRITICAL_SECTION AllocationLock; /* around every allocation made for libjpeg */
  CRITICAL_SECTION DecoderLock;    /* around the external decoder record and its holds */
  CRITICAL_SECTION SettingsLock;   /* around settingsCache */
  DWORD platformId;                /* version query's platform id; 0 selects INI mode */
  DWORD nestingSlot;               /* thread-local slot: this thread's calls into the
                                      external decoder in progress; TLS_OUT_OF_INDEXES
                                      when none could be had */
  SettingsCache *settingsCache;    /* registry mode: the store as last read, and its
                                      watch; null: the store is read at every call */
};

extern ModuleState g_module;

/* Process attach: stores the instance, creates the three locks and the
 * nesting slot, records the platform id (0 when the version query fails),
 * clears the external decoder record and empties the settings cache
 * (nothing is read yet). */
void AttachModule(HINSTANCE instance);

/* Process detach: closes the settings cache's registry watch, frees the
 * nesting slot and deletes the locks; nothing else is released. */
void DetachModule();

#endif /* MOVRELA_MODULE_H */
