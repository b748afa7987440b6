/*
 * lcms_context.h - the lcms2 context each transform lives in: its errors
 * go nowhere and its allocations are bounded by a budget; an optimisation
 * plug-in that records our matrix or grid kernel rides along. Only colour/ uses it.
 */
#ifndef MOVRELA_LCMS_CONTEXT_H
#define MOVRELA_LCMS_CONTEXT_H

#include <atomic>
#include <cstddef>

#include <lcms2_plugin.h>

#include "colour/lut_kernel.h"
#include "colour/matrix_kernel.h"

struct Budget {
  std::atomic<size_t> used;
  size_t limit;
};

/* What a transform's context carries: its budget, and the kernel that its
 * pipeline gave (recordKernel): a matrix shaper's, or else a grid's. */
struct ContextData {
  Budget budget;
  MatrixKernel *kernel;
  LutKernel *lutKernel;
};

/* The memory plug-in, chained to the kernel-recording one: pass it to
 * cmsCreateContext with a ContextData as the user data. */
extern cmsPluginMemHandler kMemoryPlugin;

/* The error handler that says nothing. */
void silent(cmsContext, cmsUInt32Number, const char *);

#endif /* MOVRELA_LCMS_CONTEXT_H */
