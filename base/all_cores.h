/*
 * all_cores.h - a request's large pass split into bands over the machine's
 * processors (up to kMostPassThreads): the first band on the caller's
 * thread, the others on threads that the call starts and joins before it
 * returns. Each band's result must not depend on the split, so that the
 * outcome is bit for bit the one-thread one whatever the count; no band may
 * call the host. A band whose thread cannot be had is done by the caller.
 */
#ifndef MOVRELA_ALL_CORES_H
#define MOVRELA_ALL_CORES_H

#include <cstdint>

/* Pictures of fewer pixels take one thread: starting threads costs more
 * than they save. */
constexpr int64_t kPixelsForThreads = 1 << 20;
/* More threads gain nothing on a 32-bit process's passes over memory. */
constexpr int32_t kMostPassThreads = 8;

/* Does the items [first, end) of a pass. */
typedef void (*PassPart)(void *pass, int32_t first, int32_t end);

/* The threads a pass over `pixels` pixels takes: 1 below
 * kPixelsForThreads, else the processors, at most kMostPassThreads. */
int32_t passThreadsFor(int64_t pixels);

/* Runs `part` over [0, count) in `threads` bands of nearly equal size at
 * once (fewer when count is smaller). */
void splitOverCores(PassPart part, void *pass, int32_t count, int32_t threads);

/* Test hook: every pass over kPixelsForThreads or more takes `threads`
 * threads (1 to kMostPassThreads); 0 goes back to the processor count. */
void forcePassThreads(int32_t threads);

#endif /* MOVRELA_ALL_CORES_H */
