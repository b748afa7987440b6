/*
 * internal_decoder.cpp - decodeInternally: open, detect the container, read
 * the header, decode row by row into the bitmap output, post-process.
 *
 * A picture whose full-size bitmap cannot be had (in a 32-bit process a
 * single block of several hundred MB often does not exist) is decoded at
 * the largest of 1/2, 1/4 and 1/8 whose bitmap can, with libjpeg's own DCT
 * scaling. The scale is chosen before jpeg_start_decompress, so that no
 * picture fails after seconds of decoding.
 *
 * A large picture that its Exif orientation turns by a quarter has the
 * turn's block made ready while it decodes (containers/turn.h).
 */
#include "decoder/internal_decoder.h"

#include <cstring>

#include "base/all_cores.h"
#include "containers/detect.h"
#include "containers/turn.h"
#include "decoder/bitmap_output.h"
#include "decoder/error_manager.h"
#include "decoder/profile_reader.h"
#include "decoder/progress.h"
#include "decoder/header_pass.h"
#include "decoder/open_release.h"
#include "decoder/row_split.h"
#include "unwind_guard.h"

extern "C" {
#include <jerror.h>
}

namespace {

/* Everything one decode owns; released on every exit. It lives in memory
 * (never in registers) across the recovery point. */
struct DecodeJob {
  RequestContext context;           /* the decompression object comes first */
  ErrorManager errors;
  ProgressMonitor progress;
  uint8_t headerBlock[kHeaderBlockSize];
  RequestInput input;
  BitmapOutput *output;             /* once created */
  ColourTransform *colour;          /* the picture's colour conversion, or null */
  void *turnReserve;                /* address space for the turn's block; or null */
  TurnBlock early;                  /* the turn's block, made ready while decoding */
  RowSplit *split;                  /* the rows' second thread while it runs, or null */
};

/* Output scales tried in turn, as the denominator of 1/N. */
constexpr unsigned kScales[] = {1, 2, 4, 8};

/* The bitmap at the largest scale whose blocks can be had, with the turn's
 * second block when the turn exchanges the sides: the turn copies into a
 * new block, and a turn without it would leave the picture unturned. Its
 * address space is reserved now, nothing committed, and given back just
 * before the turn. Fails with
 * libjpeg's out-of-memory error when even 1/8 cannot be had. */
BitmapOutput *bitmapThatFits(DecodeJob *job, bool sidesExchanged) {
  jpeg_decompress_struct *cinfo = &job->context.cinfo;
  for (unsigned denominator : kScales) {
    cinfo->scale_num = 1;
    cinfo->scale_denom = denominator;
    BitmapOutput *output = tryBitmapOutput(cinfo);
    if (output == nullptr) continue;
    if (!sidesExchanged) return output;
    const int64_t turned =
        blockBytes(rowStride(cinfo->output_height, output->bitCount), cinfo->output_width);
    job->turnReserve = turned < 0 ? nullptr
                                  : VirtualAlloc(nullptr, static_cast<SIZE_T>(turned), MEM_RESERVE,
                                                 PAGE_NOACCESS);
    if (job->turnReserve) return output;
    discardBitmapOutput(output);
  }
  ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
  return nullptr;
}

void giveBackTurnReserve(DecodeJob *job) {
  if (job->turnReserve) VirtualFree(job->turnReserve, 0, MEM_RELEASE);
  job->turnReserve = nullptr;
}

/* The turn's block of a large picture, made ready while it decodes; it
 * stands for the address space reserved for the turn, which goes back. */
void startEarlyTurnBlock(DecodeJob *job, const BitmapOutput *output) {
  const jpeg_decompress_struct &cinfo = job->context.cinfo;
  if (int64_t{cinfo.output_width} * cinfo.output_height < kPixelsForThreads) return;
  if (startTurnBlock(&job->early, static_cast<int32_t>(cinfo.output_width),
                     static_cast<int32_t>(cinfo.output_height), output->bitCount))
    giveBackTurnReserve(job);
}

/* Everything the job holds, released; a second call releases nothing. */
void releaseJob(DecodeJob *job) {
  endRowSplit(&job->split); /* before the blocks it writes go */
  releaseRequest(&job->context, &job->input, &job->output);
  releaseTurnBlock(&job->early);
  giveBackTurnReserve(job);
  releaseColourTransform(job->colour);
  job->colour = nullptr;
}

/* What a fault caught by the host (in its progress callback) leaves to
 * undo when it unwinds the decode: the whole job. */
struct DecodeGuard {
  UnwindGuard guard; /* comes first */
  DecodeJob *job;
};

void undoDecode(UnwindGuard *guard) { releaseJob(reinterpret_cast<DecodeGuard *>(guard)->job); }

/* The output is RGB unless the picture is grey (or grey is asked for);
 * four-component data is read as CMYK and converted by the output. */
void chooseColourSpace(jpeg_decompress_struct *cinfo, const PluginSettings &settings) {
  if (cinfo->out_color_space != JCS_GRAYSCALE && cinfo->out_color_space != JCS_RGB)
    cinfo->out_color_space = JCS_RGB;
  if (settings.ColorSelect != 0) cinfo->out_color_space = JCS_GRAYSCALE;
  if (cinfo->out_color_space == JCS_RGB &&
      (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK))
    cinfo->out_color_space = JCS_CMYK;
}

/* Reads the header with the Exif orientation and the profile's chunks
 * collected as the settings want them, chooses the output's colour space
 * and takes the picture's colour transform. */
void readHeaderAndColour(DecodeJob *job, int32_t kind,
                         jpeg_marker_parser_method exifOrientationReader) {
  RequestContext *context = &job->context;
  jpeg_decompress_struct *cinfo = &context->cinfo;
  const PluginSettings &settings = context->settings;
  const bool colour = colourWanted(settings, kind);
  if (exifOrientationReader &&
      (exifTurnWanted(settings, kind) || (colour && settings.ExifSupport)))
    jpeg_set_marker_processor(cinfo, JPEG_APP0 + 1, exifOrientationReader);
  if (colour) jpeg_set_marker_processor(cinfo, JPEG_APP0 + 2, readProfileChunk);

  jpeg_read_header(cinfo, TRUE);
  /* The orientation is the header's: an APP1 before a later scan is
   * skipped, as the dispatcher and the information request see none. */
  jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0);
  cinfo->dct_method = static_cast<J_DCT_METHOD>(settings.DCTMethod);
  cinfo->dither_mode = static_cast<J_DITHER_MODE>(settings.DitherMode);
  chooseColourSpace(cinfo, settings);
  /* Grey made from colour data (ColorSelect) takes no profile. */
  const bool greyData = cinfo->jpeg_color_space == JCS_GRAYSCALE;
  if (colour && (cinfo->out_color_space != JCS_GRAYSCALE || greyData))
    job->colour = acquirePictureColour(context, greyData                              ? ColourGrey
                                                : cinfo->out_color_space == JCS_CMYK ? ColourCmyk
                                                                                     : ColourRgb);
}

/* The decoded picture's turn and colours (into the block made ready, when
 * there is one) and its container's post-processing. */
void finishPicture(DecodeJob *job, int32_t kind, bool rowsConverted, BitmapHandles *handles) {
  const PluginSettings &settings = job->context.settings;
  giveBackTurnReserve(job);
  const ColourTransform *colourLeft = rowsConverted ? nullptr : job->colour;
  uint32_t turnLeft = job->context.exifOrientation;
  if (job->early.handle) {
    /* The plain JPEG post-processor then has only the pixels' aspect left. */
    turnAndConvert(handles, exifTurnFor(&settings, turnLeft), colourLeft, &job->early);
    turnLeft = kOrientationUpright;
    colourLeft = nullptr;
  }
  PostProcessor postProcessor = ContainerHandlers[kind].postProcessor;
  if (postProcessor) postProcessor(&settings, job->headerBlock, turnLeft, colourLeft, handles);
}

ResultCode runDecode(DecodeJob *job, const DecodeRequest *request,
                      jpeg_marker_parser_method exifOrientationReader, BrokenFileHook prompt) {
  RequestContext *context = &job->context;
  jpeg_decompress_struct *cinfo = &context->cinfo;
  const PluginSettings &settings = context->settings;

  ResultCode opened = openRequest(cinfo, &job->errors, request->input, request->len,
                                  request->fileInput, settings.ReportDialog != 0 ? prompt : nullptr,
                                  &job->input);
  if (opened != Success) return opened;
  /* Every way out leaves the job to its caller's releaseJob. */
  if (setjmp(job->errors.jumpBuffer)) return resultForMessage(job->errors.pub.msg_code);

  int32_t kind = startHeaderPass(context, job->headerBlock, &job->input, settings.ReportDialog == 0);
  if (kind < 0) return UnknownFormat;
  attachProgressMonitor(cinfo, &job->progress, request->progressCallback, request->callbackData);
  readHeaderAndColour(job, kind, exifOrientationReader);

  const bool sidesExchanged =
      exifTurnWanted(settings, kind) &&
      exchangesSides(exifTurnFor(&settings, context->exifOrientation));
  job->output = bitmapThatFits(job, sidesExchanged);
  BitmapOutput *output = job->output;
  if (sidesExchanged && kind == ContainerPlainJpeg) startEarlyTurnBlock(job, output);
  /* CMYK samples go through their press profile from the row buffer; RGB
   * and grey pictures are converted whole afterwards, on both cores, with
   * the turn when there is one. */
  const bool rowsConverted = job->colour && colourInput(job->colour) == ColourCmyk;
  if (rowsConverted) setOutputColour(cinfo, output, {job->colour, convertPixels});
  jpeg_start_decompress(cinfo);
  readRowsOnTwoCores(cinfo, output, request, &job->split);

  if (request->progressCallback) job->progress.pub.completed_passes = job->progress.pub.total_passes;
  if (ContainerHandlers[kind].squaresPixels && settings.IgnorePixelAspectRatio != 0) {
    cinfo->X_density = 1;
    cinfo->Y_density = 1;
  }
  (*output->finish)(cinfo, output);
  /* The last call to the host comes while the job still holds the blocks,
   * so that a fault it catches there loses nothing. */
  if (request->progressCallback) request->progressCallback(100, 100, request->callbackData);
  BitmapHandles handles = {output->infoHandle, output->bitsHandle};
  job->output = nullptr; /* the blocks are the result's now */
  releaseRequest(context, &job->input, &job->output);
  finishPicture(job, kind, rowsConverted, &handles);
  *request->infoHandleOut = handles.info;
  *request->bitsHandleOut = handles.bits;
  return Success;
}

}  // namespace

ResultCode decodeInternally(const DecodeRequest *request,
                            jpeg_marker_parser_method exifOrientationReader,
                            BrokenFileHook prompt) {
  DecodeJob job;
  std::memset(&job, 0, sizeof job);
  job.context.settings = *request->settings;
  job.input.file = INVALID_HANDLE_VALUE;
  DecodeGuard guard;
  guard.job = &job;
  PushUnwindGuard(&guard.guard, undoDecode);
  ResultCode result = runDecode(&job, request, exifOrientationReader, prompt);
  PopUnwindGuard(&guard.guard);
  releaseJob(&job);
  return result;
}
