/*
 * row_split.cpp - a scaled picture's bottom band of rows on a second
 * thread (see row_split.h).
 */
#include "decoder/row_split.h"

#include <atomic>
#include <cstring>

#include "base/all_cores.h"
#include "containers/detect.h"
#include "decoder/bitmap_output.h"
#include "decoder/error_manager.h"
#include "decoder/header_pass.h"
#include "decoder/open_release.h"

namespace {

/* The top band's share of the rows, in 64ths. Passing over a row costs the
 * second thread about 60% of decoding it at 1/2 in the 32-bit plug-in (the
 * entropy data is most of the work there), so the bands take about as long
 * when the top one holds 1 / (2 - 0.6) of the rows, about 46/64. */
constexpr JDIMENSION kTopBandIn64ths = 46;

/* Rows of blocks passed over in one step: the stop request is looked at
 * between steps (a few milliseconds each on a 200 MP picture). */
constexpr JDIMENSION kRowsOfBlocksPerSkip = 8;

/* How often the caller's thread reports the second band's progress while
 * it waits for it. */
constexpr DWORD kReportEveryMs = 50;

/* The second thread's progress monitor: records the row reached and ends
 * the thread's decode when the caller asks it to stop. */
struct BandMonitor {
  jpeg_progress_mgr pub; /* the library's record; must stay first */
  RowSplit *split;
};

}  // namespace

/* What the second decompressor takes from the caller's, copied before the
 * thread starts. */
struct OutputChoice {
  unsigned scaleNum, scaleDenom;
  J_COLOR_SPACE colourSpace;
  J_DCT_METHOD dctMethod;
  J_DITHER_MODE ditherMode;
  JDIMENSION width, height; /* the output size both must have */
};

/* The second thread's record; plain, so that no jump needs to unwind it. */
struct RowSplit {
  RequestContext context;               /* the second decompressor comes first */
  ErrorManager errors;
  BandMonitor monitor;
  uint8_t headerBlock[kHeaderBlockSize];
  RequestInput input;
  const DecodeRequest *request;         /* the input to open again */
  OutputChoice choice;
  BitmapOutput band;                    /* the caller's output, from the band's first row */
  JDIMENSION firstRow;                  /* the bottom band's first row */
  HANDLE thread;
  std::atomic<int32_t> rowReached;      /* the second decompressor's output row */
  std::atomic<int32_t> stop;            /* set by the caller: end at the next step */
  bool bandDone;                        /* written by the thread before it ends */
};

namespace {

void countWarning(j_common_ptr cinfo, int level) {
  if (level < 0) ++cinfo->err->num_warnings;
}

void bandProgress(j_common_ptr cinfo) {
  RowSplit *split = reinterpret_cast<BandMonitor *>(cinfo->progress)->split;
  split->rowReached.store(static_cast<int32_t>(cinfo->progress->pass_counter),
                          std::memory_order_relaxed);
  if (split->stop.load(std::memory_order_relaxed)) leaveWithCode(cinfo, DECODE_ABORTED);
}

/* Opens the input again, reads the header, takes the caller's output
 * parameters, passes over the top band and decodes the bottom one. Its
 * frame holds the recovery point of the second decompressor. */
DWORD WINAPI decodeBottomBand(LPVOID parameter) {
  RowSplit *split = static_cast<RowSplit *>(parameter);
  jpeg_decompress_struct *cinfo = &split->context.cinfo;
  const DecodeRequest *request = split->request;
  if (openRequest(cinfo, &split->errors, request->input, request->len, request->fileInput,
                  nullptr, &split->input) != Success)
    return 0;
  split->errors.pub.emit_message = countWarning;
  if (setjmp(split->errors.jumpBuffer)) {
    releaseRequest(&split->context, &split->input, nullptr);
    return 0;
  }
  /* An early end of the data is an error here, never a prompt. */
  if (startHeaderPass(&split->context, split->headerBlock, &split->input, false) < 0) {
    releaseRequest(&split->context, &split->input, nullptr);
    return 0;
  }
  jpeg_read_header(cinfo, TRUE);
  const OutputChoice &choice = split->choice;
  cinfo->scale_num = choice.scaleNum;
  cinfo->scale_denom = choice.scaleDenom;
  cinfo->out_color_space = choice.colourSpace;
  cinfo->dct_method = choice.dctMethod;
  cinfo->dither_mode = choice.ditherMode;
  split->monitor.pub.progress_monitor = bandProgress;
  split->monitor.split = split;
  cinfo->progress = &split->monitor.pub;
  jpeg_start_decompress(cinfo);
  const bool sameRows = cinfo->output_width == choice.width && cinfo->output_height == choice.height;
  const JDIMENSION skipStep =
      kRowsOfBlocksPerSkip * static_cast<JDIMENSION>(cinfo->max_v_samp_factor * cinfo->min_DCT_scaled_size);
  while (sameRows && cinfo->output_scanline < split->firstRow &&
         !split->stop.load(std::memory_order_relaxed)) {
    const JDIMENSION left = split->firstRow - cinfo->output_scanline;
    jpeg_skip_scanlines(cinfo, left < skipStep ? left : skipStep);
  }
  if (sameRows && cinfo->output_scanline == split->firstRow &&
      !split->stop.load(std::memory_order_relaxed)) {
    readBitmapRows(cinfo, &split->band);
    split->bandDone = cinfo->err->num_warnings == 0;
  }
  releaseRequest(&split->context, &split->input, nullptr);
  return 0;
}

/* The second thread for a picture that gains from one, started; else null. */
RowSplit *startBottomBand(j_decompress_ptr cinfo, const BitmapOutput *output,
                          const DecodeRequest *request) {
  const bool scaled = cinfo->scale_num < cinfo->scale_denom;
  if (!scaled || jpeg_has_multiple_scans(cinfo) || output->rowBuffer != nullptr ||
      passThreadsFor(int64_t{cinfo->image_width} * cinfo->image_height) < 2)
    return nullptr;
  const JDIMENSION rowsPerBlockRow =
      static_cast<JDIMENSION>(cinfo->max_v_samp_factor * cinfo->min_DCT_scaled_size);
  const JDIMENSION firstRow = static_cast<JDIMENSION>(
      uint64_t{cinfo->output_height} * kTopBandIn64ths / 64 / rowsPerBlockRow * rowsPerBlockRow);
  if (firstRow == 0 || firstRow >= cinfo->output_height) return nullptr;
  RowSplit *split = static_cast<RowSplit *>(HeapAlloc(GetProcessHeap(), 0, sizeof(RowSplit)));
  if (split == nullptr) return nullptr;
  std::memset(static_cast<void *>(split), 0, sizeof *split);
  split->context.settings = contextOf(cinfo)->settings;
  split->input.file = INVALID_HANDLE_VALUE;
  split->request = request;
  split->choice = {cinfo->scale_num,  cinfo->scale_denom,  cinfo->out_color_space,
                   cinfo->dct_method, cinfo->dither_mode,  cinfo->output_width,
                   cinfo->output_height};
  split->band = *output;
  split->band.nextRow = static_cast<int32_t>(firstRow);
  split->firstRow = firstRow;
  split->thread = CreateThread(nullptr, 0, decodeBottomBand, split, 0, nullptr);
  if (split->thread == nullptr) {
    HeapFree(GetProcessHeap(), 0, split);
    return nullptr;
  }
  return split;
}

/* The bottom band's progress, reported on the caller's thread. */
void reportBottomBand(j_decompress_ptr cinfo, const RowSplit *split) {
  jpeg_progress_mgr *progress = cinfo->progress;
  if (progress == nullptr) return;
  const int32_t reached = split->rowReached.load(std::memory_order_relaxed);
  progress->pass_counter = reached > static_cast<int32_t>(split->firstRow) ? reached
                                                                           : split->firstRow;
  progress->pass_limit = static_cast<long>(cinfo->output_height);
  (*progress->progress_monitor)(reinterpret_cast<j_common_ptr>(cinfo));
}

}  // namespace

void readRowsOnTwoCores(j_decompress_ptr cinfo, BitmapOutput *output,
                        const DecodeRequest *request, RowSplit **split) {
  *split = startBottomBand(cinfo, output, request);
  if (*split == nullptr) {
    readBitmapRows(cinfo, output);
    return;
  }
  readBitmapRowsTo(cinfo, output, (*split)->firstRow);
  while (WaitForSingleObject((*split)->thread, kReportEveryMs) == WAIT_TIMEOUT)
    reportBottomBand(cinfo, *split);
  const bool bandDone = (*split)->bandDone;
  endRowSplit(split);
  /* A band that was not read cleanly comes from this thread, as with one. */
  if (!bandDone) readBitmapRows(cinfo, output);
}

void endRowSplit(RowSplit **split) {
  if (*split == nullptr) return;
  (*split)->stop.store(1, std::memory_order_relaxed);
  WaitForSingleObject((*split)->thread, INFINITE);
  CloseHandle((*split)->thread);
  HeapFree(GetProcessHeap(), 0, *split);
  *split = nullptr;
}
