/*
 * exif_preview_reader_fuzzer.cpp - a JPEG stream's header read with the
 * Exif preview reader installed, as a preview request does, then the
 * thumbnail made into a bitmap (kinds 2 and 3) or its JPEG bytes touched at
 * both ends (kind 1): all of them must lie inside the kept segment.
 */
#include <cstdint>
#include <vector>

#include "exif/thumbnail.h"
#include "exif_header_pass.h"
#include "fuzz_setup.h"
#include "work_bounds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  WorkScope work(data, size, 1);
  FuzzSettings();
  std::vector<uint8_t> jpeg(data, data + size);
  RequestContext context;
  exifpass::readHeader(&context, jpeg, exifpass::kPreview);
  const ExifThumbnail &thumbnail = context.thumbnail;
  if (thumbnail.kind != 0 && thumbnail.savedSegment == nullptr) __builtin_trap();
  if (thumbnail.kind == 1) {
    const volatile uint8_t *start = thumbnail.savedSegment + 6 + thumbnail.jpegOffset;
    if (start[0] != 0xFF || start[1] != 0xD8) __builtin_trap();
    (void)start[thumbnail.jpegLength - 1];
  } else if (thumbnail.kind == 2 || thumbnail.kind == 3) {
    DibWriter writer;
    if (makeThumbnailBitmap(&thumbnail, &writer)) {
      LocalFree(writer.infoHandle);
      LocalFree(writer.bitsHandle);
    }
  }
  exifpass::releaseContext(&context);
  return 0;
}
