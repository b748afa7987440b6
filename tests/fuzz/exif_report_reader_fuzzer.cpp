/*
 * exif_report_reader_fuzzer.cpp - a JPEG stream's header read with the
 * Exif report reader and the comment reader installed, as GetPictureInfo
 * does. The text slot must hold a block whose text fits the slot's length,
 * and the picture request's orientation reader must find the orientation
 * the report reader found.
 */
#include <cstdint>
#include <cstring>
#include <vector>

#include "exif_header_pass.h"
#include "fuzz_setup.h"
#include "work_bounds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  WorkScope work(data, size, 1);
  FuzzSettings();
  std::vector<uint8_t> jpeg(data, data + size);
  RequestContext context;
  exifpass::readHeader(&context, jpeg, exifpass::kReport | exifpass::kComment);
  if (context.textHandle != nullptr) {
    if ((LocalFlags(context.textHandle) & LMEM_LOCKCOUNT) != 0) __builtin_trap();
    if (LocalSize(context.textHandle) < context.textLength + 2) __builtin_trap();
    const char *text = static_cast<const char *>(LocalLock(context.textHandle));
    if (std::strlen(text) > context.textLength) __builtin_trap();
    LocalUnlock(context.textHandle);
  }
  if (context.thumbnail.savedSegment != nullptr) __builtin_trap();
  exifpass::releaseContext(&context);
  RequestContext picture;
  exifpass::readHeader(&picture, jpeg, exifpass::kOrientation);
  if (picture.exifOrientation > 8 || picture.exifOrientation != context.exifOrientation)
    __builtin_trap();
  return 0;
}
