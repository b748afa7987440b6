/*
 * work_hooks.h - counting points for the fuzz build, which checks that a
 * request's work stays linear in its input: Exif segments opened, their
 * directory entries read, and the scans of each decode (at every progress
 * report), the bytes a colour transform's context holds and the stages of
 * its pipeline. Elsewhere
 * WORK_HOOK(...) is nothing; with MOVRELA_WORK_HOOKS (set
 * by the fuzz build only) it calls the fuzz targets' counters
 * (tests/fuzz/work_bounds.cpp).
 */
#ifndef MOVRELA_WORK_HOOKS_H
#define MOVRELA_WORK_HOOKS_H

#ifdef MOVRELA_WORK_HOOKS
#include <cstddef>
#include <cstdint>
extern "C" void WorkSegmentOpened(uint32_t size);
extern "C" void WorkEntryRead(void);
extern "C" void WorkDecodeProgress(struct jpeg_common_struct *cinfo);
extern "C" void WorkColourBytes(size_t held);
extern "C" void WorkColourPipeline(uint32_t stages, uint32_t inputChannels);
#define WORK_HOOK(call) call
#else
#define WORK_HOOK(call) ((void)0)
#endif

#endif /* MOVRELA_WORK_HOOKS_H */
