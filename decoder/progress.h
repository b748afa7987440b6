/*
 * progress.h - the progress monitor that links libjpeg's pass counters to
 * the host's ProgressCallback, and lets the host stop a decode.
 */
#ifndef MOVRELA_PROGRESS_H
#define MOVRELA_PROGRESS_H

#include <cstdint>

#include "base/host_interface.h"
#include "base/jpeg.h"
#include "decoder/progression.h"

struct ProgressMonitor {
  jpeg_progress_mgr pub;     /* the library's record; must stay first */
  int32_t lastPercent;       /* last percentage reported, -1 at first */
  int32_t callbackData;      /* handed back to the host */
  ProgressCallback callback; /* the host's callback, or null */
  int32_t lastScan;          /* input_scan_number at the last call */
  Progression scans;         /* the scans met so far */
};

/* Attaches `monitor` to `cinfo` with the host's callback, which may be null:
 * the monitor is attached to every decode, since it also holds each scan to
 * the progression rule (progression.h) before the scan's data is read, and
 * refuses one that breaks it with TOO_MANY_SCANS. */
void attachProgressMonitor(j_decompress_ptr cinfo, ProgressMonitor *monitor,
                           ProgressCallback callback, int32_t callbackData);

/* What the header of the scan libjpeg has just read names. */
ScanBounds scanBeingRead(j_decompress_ptr cinfo);

#endif /* MOVRELA_PROGRESS_H */
