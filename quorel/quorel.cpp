/*
 * quorel.cpp - our reference external decoder: a plain JPEG import plug-in
 * of the viewer's family, the one MOVRELA.MQF wraps by default.
 *
 * GetPicture decodes at full size into the two-block bitmap form; GetPreview
 * uses libjpeg's DCT scaling (1/2, 1/4 or 1/8) so that the longer side is
 * at most 256 pixels where a scale allows it. Four-component pictures (CMYK
 * and YCCK) are declined with 10, so that an installation falls back to the
 * wrapping plug-in's own decoder for them. Built from the plug-in's decoder
 * pieces (sources, bitmap output, progress) with an error manager of its
 * own, and libjpeg's default memory layer.
 */
#include <csetjmp>
#include <cstring>

#include "decoder/bitmap_output.h"
#include "decoder/error_manager.h"
#include "decoder/progress.h"
#include "decoder/open_release.h"

namespace {

constexpr JDIMENSION kPreviewSide = 256;

struct Decode {
  RequestContext context; /* the decompression object comes first */
  ErrorManager errors;
  ProgressMonitor progress;
  RequestInput input;
  BitmapOutput *output;
};

void quietExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager *>(cinfo->err)->jumpBuffer, 1);
}
void emitNothing(j_common_ptr, int) {}
void outputNothing(j_common_ptr) {}

void setUpDecompressor(Decode *d) {
  std::memset(d, 0, sizeof *d);
  d->input.file = INVALID_HANDLE_VALUE;
  jpeg_decompress_struct *cinfo = &d->context.cinfo;
  cinfo->err = jpeg_std_error(&d->errors.pub);
  d->errors.pub.error_exit = quietExit;
  d->errors.pub.emit_message = emitNothing;
  d->errors.pub.output_message = outputNothing;
  d->errors.prompt = nullptr;
}

void releaseDecode(Decode *d) { releaseRequest(&d->context, &d->input, &d->output); }

/* Opens the input and reads the header; false when it cannot be opened. */
bool openInput(Decode *d, char *buf, int32_t len, uint32_t flag) {
  if (openRequestInput(buf, len, fileInputFromFlag(flag), &d->input) != Success) return false;
  jpeg_CreateDecompress(&d->context.cinfo, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
  attachRequestSource(&d->context.cinfo, &d->input, true);
  jpeg_read_header(&d->context.cinfo, TRUE);
  return true;
}

int32_t decodePicture(Decode *d, char *buf, int32_t len, uint32_t flag, HLOCAL *infoOut,
                      HLOCAL *bitsOut, ProgressCallback callback, int32_t callbackData,
                      bool preview) {
  if (setjmp(d->errors.jumpBuffer)) {
    ResultCode result = resultForMessage(d->errors.pub.msg_code);
    releaseDecode(d);
    return result;
  }
  if (!openInput(d, buf, len, flag)) {
    releaseDecode(d);
    return FileReadError;
  }
  jpeg_decompress_struct *cinfo = &d->context.cinfo;
  if (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK) {
    releaseDecode(d);
    return ExternalDeclined;
  }
  if (cinfo->out_color_space != JCS_GRAYSCALE) cinfo->out_color_space = JCS_RGB;
  if (preview) {
    JDIMENSION side = cinfo->image_width > cinfo->image_height ? cinfo->image_width
                                                               : cinfo->image_height;
    cinfo->scale_num = 1;
    cinfo->scale_denom = side > kPreviewSide * 4 ? 8 : side > kPreviewSide * 2 ? 4
                                                     : side > kPreviewSide ? 2 : 1;
  }
  attachProgressMonitor(cinfo, &d->progress, callback, callbackData);
  d->output = createBitmapOutput(cinfo);
  jpeg_start_decompress(cinfo);
  readBitmapRows(cinfo, d->output);
  if (callback) d->progress.pub.completed_passes = d->progress.pub.total_passes;
  (*d->output->finish)(cinfo, d->output);
  *infoOut = d->output->infoHandle;
  *bitsOut = d->output->bitsHandle;
  d->output = nullptr;
  if (callback) callback(100, 100, callbackData);
  releaseDecode(d);
  return Success;
}

int32_t copyInfo(const char *text, char *buf, int32_t size) {
  if (buf == nullptr || size <= 0) return 0;
  int32_t n = static_cast<int32_t>(std::strlen(text)) + 1;
  if (n > size) n = size;
  std::memcpy(buf, text, static_cast<size_t>(n));
  return n;
}

}  // namespace

PLUGIN_EXPORT int32_t WINAPI GetPluginInfo(int32_t infoIndex, char *buf, int32_t bufferSize) {
  switch (infoIndex) {
    case 0: return copyInfo("00IN", buf, bufferSize);
    case 1: return copyInfo("quorel reference JPEG decoder", buf, bufferSize);
    case 2: return copyInfo("*.JPG;*.JPEG", buf, bufferSize);
    case 3: return copyInfo("JPEG", buf, bufferSize);
    default: return 0;
  }
}

PLUGIN_EXPORT int32_t WINAPI IsSupported(char * /*buf*/, UINT_PTR source) {
  uint8_t start[2] = {0, 0};
  if ((source >> 16) == 0) {
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(source), start, 2, &got, nullptr) || got != 2) return 0;
  } else {
    std::memcpy(start, reinterpret_cast<const void *>(source), 2);
  }
  return start[0] == 0xFF && start[1] == 0xD8 ? 1 : 0;
}

PLUGIN_EXPORT int32_t WINAPI GetPictureInfo(char *buf, int32_t len, uint32_t flag,
                                            PictureInfo *info) {
  Decode d;
  setUpDecompressor(&d);
  if (setjmp(d.errors.jumpBuffer)) {
    ResultCode result = resultForMessage(d.errors.pub.msg_code);
    releaseDecode(&d);
    return result;
  }
  if (!openInput(&d, buf, len, flag)) {
    releaseDecode(&d);
    return FileReadError;
  }
  const jpeg_decompress_struct &cinfo = d.context.cinfo;
  info->left = 0;
  info->top = 0;
  info->width = static_cast<int32_t>(cinfo.image_width);
  info->height = static_cast<int32_t>(cinfo.image_height);
  info->xDensity = cinfo.X_density;
  info->yDensity = cinfo.Y_density;
  info->bitDepth = cinfo.out_color_space == JCS_GRAYSCALE ? 8 : 24;
  info->textHandle = nullptr;
  releaseDecode(&d);
  return Success;
}

PLUGIN_EXPORT int32_t WINAPI GetPicture(char *buf, int32_t len, uint32_t flag, HLOCAL *infoOut,
                                        HLOCAL *bitsOut, ProgressCallback callback,
                                        int32_t callbackData) {
  Decode d;
  setUpDecompressor(&d);
  return decodePicture(&d, buf, len, flag, infoOut, bitsOut, callback, callbackData, false);
}

PLUGIN_EXPORT int32_t WINAPI GetPreview(char *buf, int32_t len, uint32_t flag, HLOCAL *infoOut,
                                        HLOCAL *bitsOut, ProgressCallback callback,
                                        int32_t callbackData) {
  Decode d;
  setUpDecompressor(&d);
  return decodePicture(&d, buf, len, flag, infoOut, bitsOut, callback, callbackData, true);
}
