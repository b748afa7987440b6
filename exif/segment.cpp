/*
 * segment.cpp - opening a copied Exif payload and reading its entries,
 * rationals and strings, each checked against the copy's bounds.
 */
#include "exif/segment.h"

#include <cmath>
#include <cstring>

#include "base/work_hooks.h"

namespace {

const uint8_t kExifIdentifier[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint32_t kIdentifierSize = 6;

/* numerator / denominator; without a finite quotient (denominator 0):
 * +infinity, -infinity, or NaN for 0/0. */
double quotient(int32_t numerator, int32_t denominator) {
  if (denominator == 0) {
    if (numerator == 0) return std::nan("");
    return numerator > 0 ? HUGE_VAL : -HUGE_VAL;
  }
  return static_cast<double>(numerator) / static_cast<double>(denominator);
}

}  // namespace

bool openExifSegment(const uint8_t *payload, uint32_t size, ExifSegment *segment) {
  if (size < kMinimumExifPayload) return false;
  if (std::memcmp(payload, kExifIdentifier, kIdentifierSize) != 0) return false;
  const uint8_t *tiff = payload + kIdentifierSize;
  if (tiff[0] == 'I' && tiff[1] == 'I') segment->bigEndian = false;
  else if (tiff[0] == 'M' && tiff[1] == 'M') segment->bigEndian = true;
  else return false;
  segment->tiff = tiff;
  segment->size = size - kIdentifierSize;
  WORK_HOOK(WorkSegmentOpened(segment->size));
  return true;
}

bool readIfdEntry(const ExifSegment *s, uint32_t offset, IfdEntry *entry) {
  if (!inside(s, offset, kIfdEntrySize)) return false;
  WORK_HOOK(WorkEntryRead());
  entry->tag = read16(s, offset);
  entry->type = read16(s, offset + 2);
  entry->count = read32(s, offset + 4);
  entry->position = offset;
  const uint8_t *field = s->tiff + offset + 8;
  switch (entry->type) {
    case kTiffByte:
    case kTiffAscii:
    case kTiffSignedByte:
      if (entry->count <= 4) {
        std::memcpy(&entry->value, field, 4); /* the bytes themselves, as stored */
        return true;
      }
      break;
    case kTiffShort:
    case kTiffSignedShort:
      if (entry->count <= 2) {
        entry->value = readOrdered16(field, s->bigEndian);
        return true;
      }
      break;
    default:
      break;
  }
  entry->value = readOrdered32(field, s->bigEndian);
  return true;
}

bool findIfdEntry(const ExifSegment *s, uint32_t offset, uint16_t tag, IfdEntry *entry) {
  if (offset == 0) return false;
  bool found = false;
  const uint32_t count = entryCount(s, offset);
  for (uint32_t i = 0; i < count; ++i) {
    IfdEntry e;
    if (!readIfdEntry(s, entryOffset(offset, i), &e)) break;
    if (e.tag == tag) *entry = e, found = true;
  }
  return found;
}

bool readRationals(const ExifSegment *s, uint32_t offset, uint32_t n, double *values) {
  if (!inside(s, offset, 8 * uint64_t{n})) return false;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t position = offset + 8 * i;
    values[i] = quotient(static_cast<int32_t>(read32(s, position)),
                         static_cast<int32_t>(read32(s, position + 4)));
  }
  return true;
}

bool readString(const ExifSegment *s, const IfdEntry &e, ExifText *text) {
  uint32_t start = e.count <= 4 ? e.position + 8 : e.value;
  if (!inside(s, start, e.count)) return false;
  const char *bytes = reinterpret_cast<const char *>(s->tiff + start);
  const void *zero = std::memchr(bytes, 0, e.count);
  text->bytes = bytes;
  text->length = zero ? static_cast<uint32_t>(static_cast<const char *>(zero) - bytes) : e.count;
  return true;
}
