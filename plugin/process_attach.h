/*
 * process_attach.h - attaching the plug-in to the host's process and detaching it:
 * the module state (base/module_state.h), the settings cache and the external
 * decoder record. DllMain calls these; so do the tests that link the
 * product's sources without loading the library.
 */
#ifndef MOVRELA_PROCESS_ATTACH_H
#define MOVRELA_PROCESS_ATTACH_H

#include "platform.h"

/* Process attach: the module state's base part (instance, locks, nesting
 * slot, platform id), an empty settings cache (nothing is read yet) and a
 * cleared external decoder record. */
void AttachModule(HINSTANCE instance);

/* Process detach: closes and frees the settings cache, then frees the
 * nesting slot and deletes the locks; nothing else is released. */
void DetachModule();

#endif /* MOVRELA_PROCESS_ATTACH_H */
