/*
 * progress.cpp - reports whole percentages to the host while libjpeg
 * decodes: 0 to 99 during the passes, each value only once; and ends a
 * decode whose stream has more scans than any encoder writes.
 */
#include "decoder/progress.h"

#include "decoder/error_manager.h"

namespace {

void progressUpdate(j_common_ptr cinfo) {
  ProgressMonitor *monitor = reinterpret_cast<ProgressMonitor *>(cinfo->progress);
  /* Each scan is a pass over all the picture's coefficients: a stream of
   * thousands of tiny scans would keep the host waiting for minutes. */
  if (cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
    leaveWithCode(cinfo, TOO_MANY_SCANS);
  if (monitor->callback == nullptr) return;
  const jpeg_progress_mgr &p = monitor->pub;
  int32_t percent = 1;
  if (p.total_passes != 0) {
    long passPart = p.pass_limit != 0 ? p.pass_counter * 100L / p.pass_limit : 0;
    percent = static_cast<int32_t>((passPart + p.completed_passes * 100L) / p.total_passes);
    if (percent >= 100) percent = 99;
  }
  if (percent == monitor->lastPercent) return;
  monitor->lastPercent = percent;
  if (monitor->callback(percent, 100, monitor->callbackData) != 0)
    leaveWithCode(cinfo, DECODE_ABORTED);
}

}  // namespace

void attachProgressMonitor(j_decompress_ptr cinfo, ProgressMonitor *monitor,
                           ProgressCallback callback, int32_t callbackData) {
  monitor->pub.progress_monitor = progressUpdate;
  monitor->lastPercent = -1;
  monitor->callbackData = callbackData;
  monitor->callback = callback;
  cinfo->progress = &monitor->pub;
}
