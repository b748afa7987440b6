/*
 * exif_header_pass.h - runs libjpeg's header parser over a JPEG in memory
 * with the Exif and comment readers installed, the way GetPictureInfo and
 * the preview request do, and gives back what they left in the request's
 * record.
 */
#ifndef MOVRELA_TEST_EXIF_HEADER_PASS_H
#define MOVRELA_TEST_EXIF_HEADER_PASS_H

#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

#include "decoder/error_manager.h"
#include "decoder/memory_layer.h"
#include "decoder/profile_reader.h"
#include "decoder/sources.h"
#include "exif/reader.h"
#include "exif_builder.h"
#include "harness.h"
#include "base/request_records.h"


namespace exifpass {

/* Which readers the pass installs. */
enum Readers { kReport = 1, kPreview = 2, kComment = 4, kOrientation = 8, kProfile = 16 };

/* Runs jpeg_read_header over `jpeg` in a cleared `context`, with `settings`
 * when given. Returns 0, or the message code with which the pass failed.
 * The text slot, the thumbnail and the profile chunks stay in the context:
 * release them with releaseContext. */
inline int readHeader(RequestContext *context, const std::vector<uint8_t> &jpeg, int readers,
                      const PluginSettings *settings = nullptr) {
  suite::AttachOnce();
  std::memset(context, 0, sizeof *context);
  if (settings) context->settings = *settings;
  ErrorManager errors;
  setupErrorManager(&errors, &context->cinfo, nullptr);
  if (setjmp(errors.jumpBuffer)) {
    jpeg_destroy_decompress(&context->cinfo);
    return errors.pub.msg_code;
  }
  jpeg_create_decompress(&context->cinfo);
  attachMemorySource(&context->cinfo, jpeg.data(), static_cast<int32_t>(jpeg.size()), true);
  if (readers & kReport) jpeg_set_marker_processor(&context->cinfo, JPEG_APP0 + 1, readExifForReport);
  if (readers & kPreview)
    jpeg_set_marker_processor(&context->cinfo, JPEG_APP0 + 1, readExifForPreview);
  if (readers & kComment) jpeg_set_marker_processor(&context->cinfo, JPEG_COM, readComment);
  if (readers & kOrientation)
    jpeg_set_marker_processor(&context->cinfo, JPEG_APP0 + 1, readExifOrientation);
  if (readers & kProfile) jpeg_set_marker_processor(&context->cinfo, JPEG_APP0 + 2, readProfileChunk);
  jpeg_read_header(&context->cinfo, TRUE);
  jpeg_destroy_decompress(&context->cinfo);
  return 0;
}

/* The text block's bytes up to its terminating zero. */
inline std::string slotText(const RequestContext &context) {
  if (context.textHandle == nullptr) return std::string();
  const char *text = static_cast<const char *>(LocalLock(context.textHandle));
  std::string out = text ? std::string(text) : std::string();
  LocalUnlock(context.textHandle);
  return out;
}

inline void releaseContext(RequestContext *context) {
  if (context->textHandle != nullptr) LocalFree(context->textHandle);
  context->textHandle = nullptr;
  if (context->thumbnail.savedSegment != nullptr)
    jpeg_free_small(reinterpret_cast<j_common_ptr>(&context->cinfo), context->thumbnail.savedSegment, 0);
  context->thumbnail.savedSegment = nullptr;
  for (uint8_t *&chunk : context->profileChunks.data) {
    if (chunk) jpeg_free_small(reinterpret_cast<j_common_ptr>(&context->cinfo), chunk, 0);
    chunk = nullptr;
  }
}

}  // namespace exifpass

#endif /* MOVRELA_TEST_EXIF_HEADER_PASS_H */
