/*
 * progress.h - the progress monitor that links libjpeg's pass counters to
 * the host's ProgressCallback, and lets the host stop a decode.
 */
#ifndef MOVRELA_PROGRESS_H
#define MOVRELA_PROGRESS_H

#include <cstdint>

#include "plugin/records.h"

struct ProgressMonitor {
  jpeg_progress_mgr pub;     /* the library's record; must stay first */
  int32_t lastPercent;       /* last percentage reported, -1 at first */
  int32_t callbackData;      /* handed back to the host */
  ProgressCallback callback; /* the host's callback */
};

/* Attaches `monitor` to `cinfo` with the host's callback. */
void attachProgressMonitor(j_decompress_ptr cinfo, ProgressMonitor *monitor,
                           ProgressCallback callback, int32_t callbackData);

#endif /* MOVRELA_PROGRESS_H */
