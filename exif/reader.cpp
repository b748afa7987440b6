/*
 * reader.cpp - the Exif and comment marker processors: they copy the
 * segment, hand the copy to the parser and its readers, and record what
 * these give in the request's context.
 *
 * The processors run inside jpeg_read_header; a failing source or missing
 * memory leaves them by a jump to the request's recovery point, so their
 * frames hold nothing with a destructor.
 */
#include "exif/reader.h"

#include <cstring>

#include "base/blocks.h"
#include "decoder/error_manager.h"
#include "decoder/memory_layer.h"
#include "decoder/segment_reader.h"
#include "exif/colour_mark.h"

extern "C" {
#include <jerror.h>
}

namespace {

/* An Exif segment's orientation, when it has one, replaces what an earlier
 * segment gave. */
void noteOrientation(j_decompress_ptr cinfo, uint32_t orientation) {
  if (orientation != 0) contextOf(cinfo)->exifOrientation = orientation;
}

/* The Adobe RGB mark, read only when the colours are converted. */
void noteColourMark(j_decompress_ptr cinfo, const ExifSegment *segment) {
  RequestContext *context = contextOf(cinfo);
  if (context->settings.ColorManagement != 0 && marksAdobeRgb(segment))
    context->adobeRgbMark = true;
}

/* Reads the APP1 segment into a copy from the library's memory layer.
 * Null when it is too short to be Exif (then it has been skipped). While it
 * is being filled the copy sits in the request's exifCopy slot, so that a
 * jump out of the source leaves it to the request's release to free. */
uint8_t *copyPayload(j_decompress_ptr cinfo, uint32_t *size) {
  uint32_t length = readSegmentLength(cinfo);
  if (length < 2) return nullptr; /* a broken length: nothing to read */
  uint32_t payload = length - 2;
  if (payload < kMinimumExifPayload) {
    skipBytes(cinfo, payload);
    return nullptr;
  }
  j_common_ptr common = reinterpret_cast<j_common_ptr>(cinfo);
  uint8_t *copy = static_cast<uint8_t *>(jpeg_get_small(common, payload));
  if (copy == nullptr) leaveWithCode(common, EXIF_NO_MEMORY);
  contextOf(cinfo)->exifCopy = copy;
  copyBytes(cinfo, copy, payload);
  *size = payload;
  return copy;
}

/* Frees the copy in the exifCopy slot. */
void freePayload(j_decompress_ptr cinfo, uint8_t *copy, uint32_t size) {
  contextOf(cinfo)->exifCopy = nullptr;
  jpeg_free_small(reinterpret_cast<j_common_ptr>(cinfo), copy, size);
}

}  // namespace

boolean readExifForReport(j_decompress_ptr cinfo) {
  uint32_t size = 0;
  uint8_t *copy = copyPayload(cinfo, &size);
  if (copy == nullptr) return TRUE;
  ExifSegment segment;
  if (openExifSegment(copy, size, &segment)) {
    ExifReportData data;
    std::memset(&data, 0, sizeof data);
    uint32_t orientation = 0;
    int n = collectReportValues(&segment, &data, nullptr, &orientation);
    noteOrientation(cinfo, orientation);
    HLOCAL report = nullptr;
    uint32_t length = 0;
    RequestContext *context = contextOf(cinfo);
    bool built = false;
    /* The strings point into the copy: build before it is freed. */
    if (n > 0)
      built = buildExifReport(context->hostJapanese ? ReportJapanese : ReportEnglish, &data, n,
                              &report, &length);
    if (built) {
      if (context->textHandle != nullptr) LocalFree(context->textHandle);
      context->textHandle = report;
      context->textLength = length;
    }
  }
  freePayload(cinfo, copy, size);
  return TRUE;
}

boolean readExifForPreview(j_decompress_ptr cinfo) {
  uint32_t size = 0;
  uint8_t *copy = copyPayload(cinfo, &size);
  if (copy == nullptr) return TRUE;
  ExifSegment segment;
  ExifThumbnail *thumbnail = &contextOf(cinfo)->thumbnail;
  bool exif = openExifSegment(copy, size, &segment);
  if (exif) {
    noteOrientation(cinfo, readOrientation(&segment));
    noteColourMark(cinfo, &segment);
  }
  if (!exif || describeThumbnail(&segment, thumbnail) == 0) {
    freePayload(cinfo, copy, size);
    return TRUE;
  }
  /* An earlier segment's thumbnail gives way to this one. */
  if (thumbnail->savedSegment != nullptr)
    jpeg_free_small(reinterpret_cast<j_common_ptr>(cinfo), thumbnail->savedSegment, 0);
  thumbnail->savedSegment = copy;
  contextOf(cinfo)->exifCopy = nullptr; /* owned by the descriptor now */
  return TRUE;
}

boolean readExifOrientation(j_decompress_ptr cinfo) {
  uint32_t length = readSegmentLength(cinfo);
  if (length < 2) return TRUE; /* a broken length: nothing to read */
  uint32_t size = length - 2;
  j_common_ptr common = reinterpret_cast<j_common_ptr>(cinfo);
  uint8_t *copy = size < kMinimumExifPayload
                      ? nullptr
                      : static_cast<uint8_t *>(jpeg_get_small(common, size));
  if (copy == nullptr) {
    skipBytes(cinfo, size);
    return TRUE;
  }
  contextOf(cinfo)->exifCopy = copy;
  copyBytes(cinfo, copy, size);
  ExifSegment segment;
  if (openExifSegment(copy, size, &segment)) {
    noteOrientation(cinfo, readOrientation(&segment));
    noteColourMark(cinfo, &segment);
  }
  freePayload(cinfo, copy, size);
  return TRUE;
}

boolean readComment(j_decompress_ptr cinfo) {
  uint32_t length = readSegmentLength(cinfo);
  if (length < 2) return TRUE; /* a broken length: ignored */
  uint32_t n = length - 2;
  RequestContext *context = contextOf(cinfo);
  /* The first comment wins, and a report read earlier stays. */
  if (context->textHandle != nullptr) {
    skipBytes(cinfo, n);
    return TRUE;
  }
  HLOCAL block;
  uint8_t *text = reinterpret_cast<uint8_t *>(allocateText(n, LMEM_MOVEABLE, &block));
  if (text == nullptr) {
    skipBytes(cinfo, n);
    return TRUE;
  }
  /* In the slot before the copy, so that a failing source cannot lose it;
   * the two spare bytes stay zero and end the text. */
  context->textHandle = block;
  context->textLength = n;
  copyBytes(cinfo, text, n);
  LocalUnlock(block);
  return TRUE;
}
