/*
 * unwind_guard.h - a routine that runs when a fault caught further out
 * unwinds the frame that pushed it. A host that catches a fault in a
 * plug-in (a compiled __except) unwinds every frame between the fault and
 * its handler and resumes in its own frame: no C++ destructor runs on that
 * path, but the handlers of structured exception records do.
 *
 * On Windows the guard is such a record on the thread's fs:[0] chain, as
 * mingw-w64's __try1 pushes one; its handler lets the exception pass on
 * (ExceptionContinueSearch) and runs the routine when called to unwind.
 * Natively it is the stand-in's guard chain, whose StandinFault plays the
 * host's catch. Push and pop in one frame; pop before that frame returns.
 */
#ifndef MOVRELA_UNWIND_GUARD_H
#define MOVRELA_UNWIND_GUARD_H

#include "platform.h"

#ifdef _WIN32
#include <excpt.h>

struct UnwindGuard {
  UnwindGuard *next;    /* the chain's record layout: next, then handler */
  void *handler;
  void (*onUnwind)(UnwindGuard *guard);
};

extern "C" inline EXCEPTION_DISPOSITION __cdecl UnwindGuardHandler(EXCEPTION_RECORD *record,
                                                                   void *frame, CONTEXT *,
                                                                   void *) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
    UnwindGuard *guard = static_cast<UnwindGuard *>(frame);
    guard->onUnwind(guard);
  }
  return ExceptionContinueSearch;
}

inline void PushUnwindGuard(UnwindGuard *guard, void (*onUnwind)(UnwindGuard *)) {
  guard->handler = reinterpret_cast<void *>(&UnwindGuardHandler);
  guard->onUnwind = onUnwind;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(guard->next));
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(guard) : "memory");
}

inline void PopUnwindGuard(UnwindGuard *guard) {
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(guard->next) : "memory");
}
#else
typedef StandinGuard UnwindGuard;

inline void PushUnwindGuard(UnwindGuard *guard, void (*onUnwind)(UnwindGuard *)) {
  guard->onUnwind = onUnwind;
  StandinPushGuard(guard);
}

inline void PopUnwindGuard(UnwindGuard *guard) { StandinPopGuard(guard); }
#endif

#endif /* MOVRELA_UNWIND_GUARD_H */
