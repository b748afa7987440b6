/*
 * module.h - process-wide state of the plug-in, set up when the host
 * attaches the library to its process and torn down at detach.
 */
#ifndef MOVRELA_MODULE_H
#define MOVRELA_MODULE_H

#include "platform.h"

struct ModuleState {
  HINSTANCE instance;              /* for string and dialog resources */
  CRITICAL_SECTION AllocationLock; /* around every allocation made for libjpeg */
  CRITICAL_SECTION DecoderLock;    /* around the external decoder record and its holds */
  DWORD platformId;                /* version query's platform id; 0 selects INI mode */
};

extern ModuleState g_module;

/* Process attach: stores the instance, creates the two locks, records the
 * platform id (0 when the version query fails) and clears the external
 * decoder record. */
void AttachModule(HINSTANCE instance);

/* Process detach: deletes the locks; nothing else is released. */
void DetachModule();

#endif /* MOVRELA_MODULE_H */
