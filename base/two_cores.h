/*
 * two_cores.h - a request's large pass split over two cores: the first
 * part on the caller's thread, the second on a thread that the call starts
 * and joins before it returns. Each part's result must not depend on the
 * split, so that the outcome is bit for bit the one-thread one; no part may
 * call the host. When no thread can be had, the caller does it all.
 */
#ifndef MOVRELA_TWO_CORES_H
#define MOVRELA_TWO_CORES_H

#include <cstdint>

/* Does the items [first, end) of a pass. */
typedef void (*PassPart)(void *pass, int32_t first, int32_t end);

/* Runs `part` over [0, count): in two halves at once when count is at
 * least `smallest`, else at once on the caller's thread. */
void splitOverTwoCores(PassPart part, void *pass, int32_t count, int32_t smallest);

#endif /* MOVRELA_TWO_CORES_H */
