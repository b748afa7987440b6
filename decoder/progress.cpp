/*
 * progress.cpp - reports whole percentages to the host while libjpeg
 * decodes: 0 to 99 during the passes, each value only once; and ends a
 * decode at a scan that breaks the progression rule or is one too many.
 */
#include "decoder/progress.h"

#include "decoder/error_manager.h"
#include "base/work_hooks.h"

namespace {

/* libjpeg calls the monitor before each step of input: a new scan number
 * means that the scan's header is read and its data is not, so a scan that
 * would cost a pass over the picture for nothing is refused for free. */
void checkNewScan(j_decompress_ptr cinfo, ProgressMonitor *monitor) {
  if (cinfo->input_scan_number == monitor->lastScan) return;
  monitor->lastScan = cinfo->input_scan_number;
  if (!takeScan(&monitor->scans, cinfo->progressive_mode != 0, scanBeingRead(cinfo)))
    leaveWithCode(reinterpret_cast<j_common_ptr>(cinfo), TOO_MANY_SCANS);
}

}  // namespace

ScanBounds scanBeingRead(j_decompress_ptr cinfo) {
  static_assert(kScanComponents == MAX_COMPS_IN_SCAN, "libjpeg's scans name up to 4 components");
  ScanBounds scan = {};
  scan.count = cinfo->comps_in_scan < kScanComponents ? cinfo->comps_in_scan : kScanComponents;
  for (int i = 0; i < scan.count; ++i) scan.components[i] = cinfo->cur_comp_info[i]->component_index;
  scan.ss = cinfo->Ss;
  scan.se = cinfo->Se;
  scan.ah = cinfo->Ah;
  scan.al = cinfo->Al;
  return scan;
}

namespace {

void progressUpdate(j_common_ptr cinfo) {
  WORK_HOOK(WorkDecodeProgress(cinfo));
  ProgressMonitor *monitor = reinterpret_cast<ProgressMonitor *>(cinfo->progress);
  if (cinfo->is_decompressor) checkNewScan(reinterpret_cast<j_decompress_ptr>(cinfo), monitor);
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
  monitor->lastScan = 0;
  startProgression(&monitor->scans);
  cinfo->progress = &monitor->pub;
}
