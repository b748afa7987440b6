/*
 * progress.h - the progress monitor that links libjpeg's pass counters to
 * the host's ProgressCallback, and lets the host stop a decode.
 */
#ifndef MOVRELA_PROGRESS_H
#define MOVRELA_PROGRESS_H

#include <cstdint>

#include "base/request.h"

struct ProgressMonitor {
  jpeg_progress_mgr pub;     /* the library's record; must stay first */
  int32_t lastPercent;       /* last percentage reported, -1 at first */
  int32_t callbackData;      /* handed back to the host */
  ProgressCallback callback; /* the host's callback, or null */
};

/* The most scans a stream may have. libjpeg's own progressive scripts
 * write 10 scans for a colour picture and at most 2 + 4 per component
 * (42 for its ten components); other common encoders write fewer than 20.
 * A stream with more is refused (TOO_MANY_SCANS): the decode's work grows
 * with the scans times the picture. */
constexpr int kMaxScans = 100;

/* Attaches `monitor` to `cinfo` with the host's callback, which may be null:
 * the monitor is attached to every decode, since it also counts the scans. */
void attachProgressMonitor(j_decompress_ptr cinfo, ProgressMonitor *monitor,
                           ProgressCallback callback, int32_t callbackData);

#endif /* MOVRELA_PROGRESS_H */
