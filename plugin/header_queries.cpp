/*
 * header_queries.cpp - IsSupported and GetPictureInfo: container detection
 * and a JPEG header pass of their own, without decoding the picture and
 * without the wrapped plug-in.
 */
#include <csetjmp>
#include <cstring>

#include "containers/detect.h"
#include "decoder/error_manager.h"
#include "decoder/internal_decoder.h"
#include "decoder/memory_layer.h"
#include "decoder/sources.h"
#include "exif/reader.h"
#include "plugin/exports.h"
#include "base/module.h"
#include "base/request.h"

namespace {

/* The host's format-test block. */
constexpr int32_t kSupportedBlockSize = 2048;

struct QueryJob {
  RequestContext context; /* the decompression object comes first */
  ErrorManager errors;
  uint8_t headerBlock[kHeaderBlockSize];
  HANDLE file; /* opened by GetPictureInfo; INVALID_HANDLE_VALUE when none */
};

/* Markers inside whose segment a 2048-byte block may end while the file
 * itself goes on: the header simply did not fit the block. */
bool mayContinueAfterBlock(int marker) {
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

int32_t runIsSupported(QueryJob *job, UINT_PTR source) {
  PluginSettings &settings = job->context.settings;
  jpeg_decompress_struct *cinfo = &job->context.cinfo;
  LoadSettings(g_module.instance, &settings);
  /* A file handle has its high 16 bits clear; anything else is the block. */
  const uint32_t fileInput = (source >> 16) == 0 ? 1 : 0;

  setupErrorManager(&job->errors, cinfo, true, false);
  if (setjmp(job->errors.jumpBuffer)) {
    int marker = cinfo->unread_marker;
    int code = job->errors.pub.msg_code;
    jpeg_destroy_decompress(cinfo);
    if (code == DATA_TRUNCATED && !fileInput) return mayContinueAfterBlock(marker) ? 1 : 0;
    return 0;
  }

  void *input = reinterpret_cast<void *>(source);
  int32_t extent = kSupportedBlockSize;
  if (detectContainer(&settings, job->headerBlock, &input, &extent, fileInput) < 0) return 0;
  jpeg_CreateDecompress(cinfo, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
  if (fileInput)
    attachFileSource(cinfo, static_cast<HANDLE>(input), false);
  else
    attachMemorySource(cinfo, input, extent, false);
  jpeg_read_header(cinfo, TRUE);
  jpeg_destroy_decompress(cinfo);
  return 1;
}

void releaseQuery(QueryJob *job) {
  RequestContext &context = job->context;
  if (context.textHandle) LocalFree(context.textHandle);
  context.textHandle = nullptr;
  context.textLength = 0;
  releaseExifCopies(&context.cinfo);
  jpeg_destroy_decompress(&context.cinfo);
  if (job->file != INVALID_HANDLE_VALUE) CloseHandle(job->file);
  job->file = INVALID_HANDLE_VALUE;
}

ResultCode runPictureInfo(QueryJob *job, char *buf, int32_t len, uint32_t flag,
                          PictureInfo *infoOut) {
  RequestContext *context = &job->context;
  jpeg_decompress_struct *cinfo = &context->cinfo;
  PluginSettings &settings = context->settings;
  LoadSettings(g_module.instance, &settings);
  const uint32_t fileInput = FileInputFromFlag(flag);

  if (fileInput) {
    job->file = CreateFileA(buf, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (job->file == INVALID_HANDLE_VALUE) return FileReadError;
    if (len != 0) SetFilePointer(job->file, len, nullptr, FILE_BEGIN);
  }

  setupErrorManager(&job->errors, cinfo, false, false);
  if (setjmp(job->errors.jumpBuffer)) {
    ResultCode result = job->errors.pub.msg_code == kLibraryOutOfMemory ? OutOfMemory : BrokenData;
    releaseQuery(job);
    return result;
  }
  context->textLength = 0;
  context->textHandle = nullptr;
  context->thumbnail.savedSegment = nullptr;
  context->exifCopy = nullptr;

  void *source = fileInput ? static_cast<void *>(job->file) : static_cast<void *>(buf);
  int32_t extent = len;
  int32_t kind = detectContainer(&settings, job->headerBlock, &source, &extent, fileInput);
  if (kind < 0) {
    releaseQuery(job);
    return UnknownFormat;
  }

  jpeg_CreateDecompress(cinfo, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
  if (kind == ContainerPlainJpeg) {
    jpeg_set_marker_processor(cinfo, JPEG_COM, readComment);
    if (settings.ExifSupport) jpeg_set_marker_processor(cinfo, JPEG_APP0 + 1, readExifForReport);
  }
  if (fileInput)
    attachFileSource(cinfo, job->file, true);
  else
    attachMemorySource(cinfo, source, extent, true);
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
  releaseQuery(job);

  InfoHandler handler = ContainerHandlers[kind].infoHandler;
  if (handler) handler(&settings, job->headerBlock, infoOut);
  return Success;
}

}  // namespace

PLUGIN_EXPORT int32_t WINAPI IsSupported(char * /*buf*/, UINT_PTR source) {
  if (source == 0) return 0;
  QueryJob job;
  std::memset(&job, 0, sizeof job);
  job.file = INVALID_HANDLE_VALUE;
  return runIsSupported(&job, source);
}

PLUGIN_EXPORT int32_t WINAPI GetPictureInfo(char *buf, int32_t len, uint32_t flag,
                                            PictureInfo *infoOut) {
  if (buf == nullptr || infoOut == nullptr) return UnknownFormat;
  QueryJob job;
  std::memset(&job, 0, sizeof job);
  job.file = INVALID_HANDLE_VALUE;
  return runPictureInfo(&job, buf, len, flag, infoOut);
}
