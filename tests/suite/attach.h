/*
 * attach.h - the module state attached to the running program, as process
 * attach does, for suites that link the plug-in's sources.
 */
#ifndef MOVRELA_TEST_ATTACH_H
#define MOVRELA_TEST_ATTACH_H

#include "base/module_state.h"
#include "harness.h"
#include "plugin/process_attach.h"

namespace suite {

/* Attaches once: later calls, and a program that attached already, keep
 * the state as it is. */
inline void AttachOnce() {
  if (g_module.instance == nullptr) AttachModule(SelfInstance());
}

/* Detaches (when attached) and attaches again, so that the state takes the
 * platform id and the store as they are now. */
inline void AttachAgain() {
  if (g_module.instance != nullptr) DetachModule();
  AttachModule(SelfInstance());
}

}  // namespace suite

#endif /* MOVRELA_TEST_ATTACH_H */
