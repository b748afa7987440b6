/*
 * dispatcher.cpp - GetPicture and GetPreview: a header pass of our own to
 * learn the container kind and, for previews, where the Exif thumbnail
 * lies; then the thumbnail bitmap, or the wrapped plug-in's answer with the
 * container's post-processing. GetPicture falls back to the internal
 * decoder when the wrapped plug-in declines a picture.
 *
 * A copy of this plug-in, or another plug-in that wraps us, may be our
 * external decoder while we are its: each would call the other without
 * end. Calls into the external decoder are counted per thread, and a
 * request that arrives this deep inside them is declined at once.
 *
 * A wrapped copy of this very build turns and converts a plain JPEG stream
 * itself, so its picture is not post-processed again here. A stream whose
 * own Exif and profile do not count (a container's, or a thumbnail turned
 * and converted by the caller) goes to it with the as-decoded mark in the
 * flag, and comes back as decoded, for our own steps.
 */
#include "plugin/dispatcher.h"

#include <csetjmp>
#include <cstdint>
#include <cstring>

#include "containers/detect.h"
#include "containers/turn.h"
#include "base/all_cores.h"
#include "base/blocks.h"
#include "base/dib_writer.h"
#include "decoder/error_manager.h"
#include "decoder/internal_decoder.h"
#include "decoder/profile_reader.h"
#include "decoder/progress.h"
#include "decoder/header_pass.h"
#include "decoder/open_release.h"
#include "decoder/scan_walk.h"
#include "exif/reader.h"
#include "exif/thumbnail.h"
#include "plugin/external_decoder.h"
#include "plugin/broken_file_prompt.h"
#include "plugin/exports.h"
#include "settings/settings.h"
#include "base/module_state.h"
#include "unwind_guard.h"

namespace {

/* Our calls into the external decoder that may be in progress on one
 * thread before a request of ours is declined (10) unread. A loop through a
 * copy reaches it at once; a viewer that serves a request from inside the
 * progress callback of another nests only once or twice. */
constexpr intptr_t kMaxDecoderNesting = 4;

/* The as-decoded mark: the high half of the flag, whose low three bits
 * still give the input kind. Only a copy of this build is handed it, by
 * another copy; a host's flag is not expected to hold exactly this half. */
constexpr uint32_t kAsDecodedMark = 0x4D560000u; /* "MV" */
constexpr uint32_t kMarkMask = 0xFFFF0000u;

/* The settings of a stream read as decoded: no Exif (no turn, no thumbnail,
 * no colour mark), no colour conversion, the pixel aspect as declared, as
 * a container's stream is read. */
void ReadAsDecoded(PluginSettings *settings) {
  settings->ExifSupport = 0;
  settings->ExifRotation = 0;
  settings->ColorManagement = kColourAsDecoded;
  settings->IgnorePixelAspectRatio = 0;
}

intptr_t DecoderNesting() {
  DWORD slot = ModuleNestingSlot();
  if (slot == TLS_OUT_OF_INDEXES) return 0;
  return reinterpret_cast<intptr_t>(TlsGetValue(slot));
}

void CountDecoderNesting(intptr_t step) {
  DWORD slot = ModuleNestingSlot();
  if (slot == TLS_OUT_OF_INDEXES) return;
  TlsSetValue(slot, reinterpret_cast<LPVOID>(DecoderNesting() + step));
}

/* Everything one request owns; released on every exit. */
struct DispatchJob {
  RequestContext context; /* the decompression object comes first */
  ErrorManager errors;
  ProgressMonitor progress;
  uint8_t headerBlock[kHeaderBlockSize];
  RequestInput input;
  ColourTransform *colour; /* the picture's colour conversion, or null */
  bool asDecoded;          /* the stream's own Exif and profile do not count */
  TurnBlock early;         /* the turn's block, made ready while the picture decodes */
};

void ReleaseJob(DispatchJob *job) { releaseRequest(&job->context, &job->input, nullptr); }

/* Frees blocks a failed request left in the host's variables, so that a
 * later answer does not lose them. */
void FreeLeftHandles(const DecodeRequest *request) {
  if (*request->infoHandleOut) LocalFree(*request->infoHandleOut);
  if (*request->bitsHandleOut) LocalFree(*request->bitsHandleOut);
  *request->infoHandleOut = nullptr;
  *request->bitsHandleOut = nullptr;
}

/* The preview from the Exif thumbnail, when its kind is enabled and it can
 * be built. True when the host's variables hold the bitmap. A thumbnail is
 * stored the way its picture is, and passes through no post-processor: it
 * is turned here by the picture's orientation. */
bool PreviewFromThumbnail(DispatchJob *job, const DecodeRequest *request) {
  const ExifThumbnail &thumbnail = job->context.thumbnail;
  const int32_t level = job->context.settings.ExifPreviewLevel;
  const uint32_t turn = exifTurnFor(&job->context.settings, job->context.exifOrientation);
  if (thumbnail.kind == ThumbnailJpeg && (level & kPreviewLevelJpeg)) {
    /* The compressed thumbnail is a picture of its own, in memory, whose
     * stream has no orientation of its own. */
    PluginSettings settings = *request->settings;
    settings.ExifRotation = 0;
    settings.ColorManagement = kColourAsDecoded; /* converted here, with the turn */
    DecodeRequest inner = *request;
    inner.settings = &settings;
    inner.input = reinterpret_cast<const char *>(thumbnail.savedSegment) + 6 + thumbnail.jpegOffset;
    inner.len = static_cast<int32_t>(thumbnail.jpegLength);
    inner.fileInput = 0;
    inner.preview = 0;
    *request->infoHandleOut = nullptr;
    *request->bitsHandleOut = nullptr;
    if (DispatchRequest(&inner, true) == Success) {
      BitmapHandles bitmap = {*request->infoHandleOut, *request->bitsHandleOut};
      turnAndConvert(&bitmap, turn, job->colour);
      *request->bitsHandleOut = bitmap.bits;
      return true;
    }
    FreeLeftHandles(request);
    return false;
  }
  if ((thumbnail.kind == ThumbnailRgb && (level & kPreviewLevelRgb)) ||
      (thumbnail.kind == ThumbnailYcbcr && (level & kPreviewLevelYcbcr))) {
    DibWriter writer;
    if (!makeThumbnailBitmap(&thumbnail, &writer)) return false;
    BitmapHandles bitmap = {writer.infoHandle, writer.bitsHandle};
    turnAndConvert(&bitmap, turn, job->colour);
    *request->infoHandleOut = bitmap.info;
    *request->bitsHandleOut = bitmap.bits;
    return true;
  }
  return false;
}

/* What a fault caught by the host leaves to undo when it unwinds our call
 * into the external decoder: the nesting count, the colour conversion, the
 * turn's block and the hold. */
struct DelegationGuard {
  UnwindGuard guard; /* comes first */
  const DecoderHold *hold;
  ColourTransform *colour;
  TurnBlock *early;
};

void UndoDelegation(UnwindGuard *guard) {
  const DelegationGuard *delegation = reinterpret_cast<DelegationGuard *>(guard);
  CountDecoderNesting(-1);
  releaseTurnBlock(delegation->early);
  releaseColourTransform(delegation->colour);
  ReleaseExternalDecoder(delegation->hold);
}

/* A large plain JPEG picture that its Exif orientation will turn by a
 * quarter gets the turn's block made ready while the wrapped plug-in
 * decodes (containers/turn.h); not when that is a copy of this build,
 * which would make a block of its own while ours waits. */
void StartEarlyTurnBlock(DispatchJob *job, int32_t kind, const DecoderHold *hold) {
  const jpeg_decompress_struct &cinfo = job->context.cinfo;
  const uint32_t turn = exifTurnFor(&job->context.settings, job->context.exifOrientation);
  if (kind != ContainerPlainJpeg || !exchangesSides(turn) || hold->isCopy ||
      int64_t{cinfo.image_width} * cinfo.image_height < kPixelsForThreads)
    return;
  startTurnBlock(&job->early, static_cast<int32_t>(cinfo.image_width),
                 static_cast<int32_t>(cinfo.image_height), cinfo.num_components == 1 ? 8 : 24);
}

/* Whether the picture's full-size bitmap cannot be had in this process now
 * (its address space cannot even be reserved, or it is too large for a
 * bitmap). The wrapped plug-in would only answer OutOfMemory for it after
 * reading the stream, and the scans would be walked for nothing: the
 * request goes straight to our decoder, which decodes it smaller. */
bool FullSizeOutOfReach(const jpeg_decompress_struct &cinfo) {
  const int64_t bytes =
      blockBytes(rowStride(cinfo.image_width, cinfo.num_components == 1 ? 8 : 24), cinfo.image_height);
  if (bytes < 0) return true;
  void *reserved = VirtualAlloc(nullptr, static_cast<SIZE_T>(bytes), MEM_RESERVE, PAGE_NOACCESS);
  if (reserved == nullptr) return true;
  VirtualFree(reserved, 0, MEM_RELEASE);
  return false;
}

/* The header's markers read as the request needs them: a preview's Exif
 * (for its thumbnail), or the orientation and the colour profile's chunks
 * when the steps after the decode are ours. */
void setMarkerReaders(jpeg_decompress_struct *cinfo, const PluginSettings &settings, int32_t kind,
                      bool preview, bool stepsHere) {
  if (preview && ContainerHandlers[kind].readsStreamMetadata && settings.ExifSupport)
    jpeg_set_marker_processor(cinfo, JPEG_APP0 + 1, readExifForPreview);
  else if (stepsHere && (exifTurnWanted(settings, kind) ||
                         (colourWanted(settings, kind) && settings.ExifSupport)))
    jpeg_set_marker_processor(cinfo, JPEG_APP0 + 1, readExifOrientation);
  if (stepsHere && colourWanted(settings, kind))
    jpeg_set_marker_processor(cinfo, JPEG_APP0 + 2, readProfileChunk);
}

/* Hands the stream to the held decoder (`marked`: to be decoded as it is)
 * and makes the steps after the decode that are ours, unless the wrapped
 * copy makes them itself. */
ResultCode Delegate(DispatchJob *job, const DecodeRequest *request, const DecoderHold *hold,
                    int32_t kind, bool marked, bool copyMakesSteps) {
  const PluginSettings &settings = job->context.settings;
  const uint32_t orientation = job->context.exifOrientation;
  const RequestInput &in = job->input;
  BitmapHandles handles = {nullptr, nullptr};
  char *stream = in.fileInput ? const_cast<char *>(request->input)
                              : reinterpret_cast<char *>(const_cast<uint8_t *>(in.data));
  DelegationGuard guard;
  guard.hold = hold;
  guard.colour = job->colour;
  guard.early = &job->early;
  const uint32_t flag = (in.fileInput ? 0u : 1u) | (marked ? kAsDecodedMark : 0u);
  CountDecoderNesting(1);
  PushUnwindGuard(&guard.guard, UndoDelegation);
  int32_t result = hold->entry(stream, in.extent, flag, &handles.info, &handles.bits,
                               request->progressCallback, request->callbackData);
  PopUnwindGuard(&guard.guard);
  CountDecoderNesting(-1);
  if (result == Success && job->early.handle) {
    /* The turn and the colours into the block made ready; the plain JPEG
     * post-processor then has only the pixels' aspect left to do. */
    turnAndConvert(&handles, exifTurnFor(&settings, orientation), job->colour,
                   &job->early);
    ContainerHandlers[kind].postProcessor(&settings, job->headerBlock, kOrientationUpright,
                                          nullptr, &handles);
  } else if (result == Success && !copyMakesSteps && ContainerHandlers[kind].postProcessor) {
    ContainerHandlers[kind].postProcessor(&settings, job->headerBlock, orientation,
                                          job->colour, &handles);
  }
  releaseTurnBlock(&job->early);
  *request->infoHandleOut = handles.info;
  *request->bitsHandleOut = handles.bits;
  return static_cast<ResultCode>(result);
}


/* `hold` is the held decoder, or null when the module has no nesting slot:
 * without a count a loop through a copy would never end, so nothing is
 * delegated then and the answer is 10. */
ResultCode RunDispatch(DispatchJob *job, const DecodeRequest *request, const DecoderHold *hold) {
  RequestContext *context = &job->context;
  jpeg_decompress_struct *cinfo = &context->cinfo;
  const PluginSettings &settings = context->settings;

  const bool preview = request->preview != 0;
  ResultCode opened = openRequest(cinfo, &job->errors, request->input, request->len,
                                  request->fileInput,
                                  !preview && settings.ReportDialog != 0 ? BrokenFilePrompt : nullptr,
                                  &job->input);
  if (opened != Success) return opened;
  if (setjmp(job->errors.jumpBuffer)) {
    ResultCode result = resultForMessage(job->errors.pub.msg_code);
    ReleaseJob(job);
    return result;
  }

  int32_t kind = startHeaderPass(context, job->headerBlock, &job->input,
                                 preview || settings.ReportDialog == 0);
  if (kind < 0) {
    ReleaseJob(job);
    return UnknownFormat;
  }
  /* A wrapped copy makes the plain-JPEG steps itself (the turn, the colour
   * conversion, square pixels); otherwise it is handed the stream marked
   * and they are ours. A preview may still come from the thumbnail here. */
  const bool copy = hold != nullptr && hold->isCopy;
  const bool marked = copy && (job->asDecoded || kind != ContainerPlainJpeg);
  const bool copyMakesSteps = copy && !marked;
  const bool stepsHere = preview || !copyMakesSteps;
  attachProgressMonitor(cinfo, &job->progress, request->progressCallback, request->callbackData);
  std::memset(&context->thumbnail, 0, sizeof context->thumbnail);
  setMarkerReaders(cinfo, settings, kind, preview, stepsHere);
  jpeg_read_header(cinfo, TRUE);
  if (!preview && settings.UseInternalDecoder && hold != nullptr && FullSizeOutOfReach(*cinfo)) {
    ReleaseJob(job);
    return OutOfMemory; /* our decoder's turn (PictureRequest) */
  }
  /* The wrapped plug-in's bitmap of four-component data is RGB of its own
   * making: it stays as returned. */
  if (stepsHere && colourWanted(settings, kind) && cinfo->jpeg_color_space != JCS_CMYK &&
      cinfo->jpeg_color_space != JCS_YCCK)
    job->colour = acquirePictureColour(
        context, cinfo->jpeg_color_space == JCS_GRAYSCALE ? ColourGrey : ColourRgb);

  if (preview && PreviewFromThumbnail(job, request)) {
    ReleaseJob(job);
    return Success;
  }

  /* The wrapped plug-in may have no scan limit: a stream of several scans
   * is held to the progression rule before it reads it. */
  if (jpeg_has_multiple_scans(cinfo) && !scansKeepTheRule(cinfo, &job->input)) {
    ReleaseJob(job);
    return BrokenData;
  }

  /* Delegation: the wrapped plug-in decodes from the stream's start. */
  if (hold != nullptr && !preview) StartEarlyTurnBlock(job, kind, hold);
  ReleaseJob(job);
  if (hold == nullptr) return ExternalDeclined;
  return Delegate(job, request, hold, kind, marked, copyMakesSteps);
}

}  // namespace

ResultCode DispatchRequest(const DecodeRequest *request, bool asDecoded) {
  /* The decoder stays loaded until this request is done with it, whatever
   * the settings dialog does meanwhile on another thread. */
  DecoderHold hold;
  const bool slot = ModuleNestingSlot() != TLS_OUT_OF_INDEXES;
  if (slot && !HoldExternalDecoder(request->settings->JPEGPlugin, request->preview != 0, &hold))
    return UnknownFormat;
  DispatchJob job;
  std::memset(&job, 0, sizeof job);
  job.context.settings = *request->settings;
  job.input.file = INVALID_HANDLE_VALUE;
  job.asDecoded = asDecoded;
  ResultCode result = RunDispatch(&job, request, slot ? &hold : nullptr);
  releaseColourTransform(job.colour);
  if (slot) ReleaseExternalDecoder(&hold);
  return result;
}

namespace {

int32_t PictureRequest(char *buf, int32_t len, uint32_t flag, HLOCAL *infoHandleOut,
                       HLOCAL *bitsHandleOut, ProgressCallback progressCallback,
                       int32_t callbackData, uint32_t preview) {
  if (DecoderNesting() >= kMaxDecoderNesting) return ExternalDeclined;
  if (buf == nullptr || infoHandleOut == nullptr || bitsHandleOut == nullptr) return UnknownFormat;
  PluginSettings settings;
  LoadSettings(ModuleInstance(), &settings);
  const bool asDecoded = (flag & kMarkMask) == kAsDecodedMark;
  if (asDecoded) ReadAsDecoded(&settings);
  DecodeRequest request = {buf,           len,           fileInputFromFlag(flag),
                           infoHandleOut, bitsHandleOut, progressCallback,
                           callbackData,  preview,       &settings};
  ResultCode result = DispatchRequest(&request, asDecoded);
  /* A picture the wrapped plug-in has no memory for may fit our decoder,
   * which decodes at a smaller scale when the full size cannot be had. */
  if (!preview && (result == ExternalDeclined || result == OutOfMemory) &&
      settings.UseInternalDecoder) {
    /* Whatever the wrapped plug-in left goes before our own answer. */
    FreeLeftHandles(&request);
    result = decodeInternally(&request, readExifOrientation, BrokenFilePrompt);
  }
  return result;
}

}  // namespace

PLUGIN_EXPORT int32_t WINAPI GetPicture(char *buf, int32_t len, uint32_t flag,
                                        HLOCAL *infoHandleOut, HLOCAL *bitsHandleOut,
                                        ProgressCallback progressCallback, int32_t callbackData) {
  return PictureRequest(buf, len, flag, infoHandleOut, bitsHandleOut, progressCallback,
                        callbackData, 0);
}

PLUGIN_EXPORT int32_t WINAPI GetPreview(char *buf, int32_t len, uint32_t flag,
                                        HLOCAL *infoHandleOut, HLOCAL *bitsHandleOut,
                                        ProgressCallback progressCallback, int32_t callbackData) {
  return PictureRequest(buf, len, flag, infoHandleOut, bitsHandleOut, progressCallback,
                        callbackData, 1);
}
