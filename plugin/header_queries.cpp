/*
 * header_queries.cpp - IsSupported and GetPictureInfo: container detection
 * and a JPEG header pass of their own, without decoding the picture and
 * without the wrapped plug-in.
 */
#include <csetjmp>
#include <cstring>

#include "containers/detect.h"
#include "decoder/error_manager.h"
#include "decoder/header_pass.h"
#include "decoder/open_release.h"
#include "exif/reader.h"
#include "plugin/exports.h"
#include "base/module_state.h"
#include "base/request_records.h"
#include "settings/settings.h"

namespace {

/* The host's format-test block. */
constexpr int32_t kSupportedBlockSize = 2048;

struct QueryJob {
  RequestContext context; /* the decompression object comes first */
  ErrorManager errors;
  uint8_t headerBlock[kHeaderBlockSize];
  RequestInput input;
};

void ReleaseQuery(QueryJob *job) { releaseRequest(&job->context, &job->input, nullptr); }

/* Markers inside whose segment a 2048-byte block may end while the file
 * itself goes on: the header simply did not fit the block. */
bool MayContinueAfterBlock(int marker) {
  if (marker == 0 || marker == 0x01 || marker == 0xFE) return true;
  if (marker >= 0xD0 && marker <= 0xD7) return true;
  if (marker >= 0xE0 && marker <= 0xEF) return true;
  switch (marker) {
    case 0xC0: case 0xC1: case 0xC2: case 0xC4: case 0xC9: case 0xCA: case 0xCC:
    case 0xD9: case 0xDA: case 0xDB: case 0xDC: case 0xDD:
      return true;
    default:
      return false;
  }
}

int32_t RunIsSupported(QueryJob *job, UINT_PTR source) {
  jpeg_decompress_struct *cinfo = &job->context.cinfo;
  takeHostInput(source, kSupportedBlockSize, &job->input);
  /* The settings only steer container detection, which takes a block
   * starting with a JPEG stream as plain JPEG whatever they say: the
   * common case then leaves the store alone. */
  if (job->input.fileInput || !startsWithJpegStream(job->input.data))
    LoadSettings(ModuleInstance(), &job->context.settings);
  const uint32_t fileInput = job->input.fileInput;

  setupErrorManager(&job->errors, cinfo, nullptr);
  if (setjmp(job->errors.jumpBuffer)) {
    int marker = cinfo->unread_marker;
    int code = job->errors.pub.msg_code;
    ReleaseQuery(job);
    if (code == DATA_TRUNCATED && !fileInput) return MayContinueAfterBlock(marker) ? 1 : 0;
    return 0;
  }

  if (startHeaderPass(&job->context, job->headerBlock, &job->input, false) < 0) return 0;
  jpeg_read_header(cinfo, TRUE);
  ReleaseQuery(job);
  return 1;
}

ResultCode RunPictureInfo(QueryJob *job, char *buf, int32_t len, uint32_t flag,
                          PictureInfo *infoOut) {
  RequestContext *context = &job->context;
  jpeg_decompress_struct *cinfo = &context->cinfo;
  PluginSettings &settings = context->settings;
  LoadSettingsAndLanguage(ModuleInstance(), &settings, &context->hostJapanese);
  ResultCode opened = openRequest(cinfo, &job->errors, buf, len, fileInputFromFlag(flag), nullptr,
                                  &job->input);
  if (opened != Success) return opened;
  if (setjmp(job->errors.jumpBuffer)) {
    ResultCode result = resultForMessage(job->errors.pub.msg_code);
    ReleaseQuery(job);
    return result;
  }

  int32_t kind = startHeaderPass(context, job->headerBlock, &job->input, true);
  if (kind < 0) {
    ReleaseQuery(job);
    return UnknownFormat;
  }
  if (ContainerHandlers[kind].readsStreamMetadata) {
    jpeg_set_marker_processor(cinfo, JPEG_COM, readComment);
    if (settings.ExifSupport) jpeg_set_marker_processor(cinfo, JPEG_APP0 + 1, readExifForReport);
  }
  jpeg_read_header(cinfo, TRUE);

  if (cinfo->out_color_space != JCS_GRAYSCALE && cinfo->out_color_space != JCS_RGB)
    cinfo->out_color_space = JCS_RGB;
  infoOut->left = 0;
  infoOut->top = 0;
  infoOut->width = static_cast<int32_t>(cinfo->image_width);
  infoOut->height = static_cast<int32_t>(cinfo->image_height);
  if (settings.IgnorePixelAspectRatio) {
    cinfo->X_density = 1;
    cinfo->Y_density = 1;
  }
  if (cinfo->density_unit == 2) {
    /* Dots per centimetre, in the host's 16-bit fields. */
    infoOut->xDensity = static_cast<uint16_t>(cinfo->X_density * 100);
    infoOut->yDensity = static_cast<uint16_t>(cinfo->Y_density * 100);
  } else {
    infoOut->xDensity = cinfo->X_density;
    infoOut->yDensity = cinfo->Y_density;
  }
  infoOut->bitDepth = cinfo->out_color_space == JCS_RGB && !cinfo->quantize_colors ? 24 : 8;
  if (context->textLength != 0) {
    infoOut->textHandle = context->textHandle;
    context->textHandle = nullptr; /* the host's now */
  } else {
    infoOut->textHandle = nullptr;
  }
  context->textLength = 0;
  ReleaseQuery(job);

  InfoHandler handler = ContainerHandlers[kind].infoHandler;
  if (handler) handler(&settings, job->headerBlock, context->exifOrientation, infoOut);
  return Success;
}

}  // namespace

PLUGIN_EXPORT int32_t WINAPI IsSupported(char * /*buf*/, UINT_PTR source) {
  if (source == 0) return 0;
  QueryJob job;
  std::memset(&job, 0, sizeof job);
  job.input.file = INVALID_HANDLE_VALUE;
  return RunIsSupported(&job, source);
}

PLUGIN_EXPORT int32_t WINAPI GetPictureInfo(char *buf, int32_t len, uint32_t flag,
                                            PictureInfo *infoOut) {
  if (buf == nullptr || infoOut == nullptr) return UnknownFormat;
  QueryJob job;
  std::memset(&job, 0, sizeof job);
  job.input.file = INVALID_HANDLE_VALUE;
  return RunPictureInfo(&job, buf, len, flag, infoOut);
}
