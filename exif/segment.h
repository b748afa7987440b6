/*
 * segment.h - the parser of a copied Exif APP1 payload: its TIFF structure
 * (ExifSegment), the 12-byte directory entries, and the rationals and
 * strings they point to. It reads nothing outside the copy: an IFD, entry,
 * string or rational that lies partly outside is not read, and the callers
 * ignore the tag, or the rest of an IFD whose entries run out of the segment.
 */
#ifndef MOVRELA_EXIF_SEGMENT_H
#define MOVRELA_EXIF_SEGMENT_H

#include <cstdint>

#include "base/byte_order.h"

/* A string of the Exif segment: it ends at its first zero byte or after its
 * count, whichever comes first, so it carries its length. */
struct ExifText {
  const char *bytes; /* into the segment copy; null when the tag was not seen */
  uint32_t length;   /* bytes before the end */
};

/* The TIFF structure inside a copied APP1 payload. */
struct ExifSegment {
  const uint8_t *tiff; /* TIFF header: payload + 6; offsets count from here */
  uint32_t size;       /* bytes from tiff to the end of the payload */
  bool bigEndian;      /* "MM"; "II" is little-endian */
};

/* One 12-byte directory entry, decoded. */
struct IfdEntry {
  uint16_t tag;
  uint16_t type;     /* TIFF type code */
  uint32_t count;
  uint32_t value;    /* the data itself when it fits in 4 bytes, else its offset */
  uint32_t position; /* offset of the entry itself */
};

/* TIFF type codes used here. */
enum TiffType : uint16_t {
  kTiffByte = 1,
  kTiffAscii = 2,
  kTiffShort = 3,
  kTiffLong = 4,
  kTiffRational = 5,
  kTiffSignedByte = 6,
  kTiffUndefined = 7,
  kTiffSignedShort = 8,
  kTiffSignedRational = 10
};

/* "Exif" 0 0 and the TIFF header (byte order, 42, offset of IFD0): a
 * shorter payload cannot be Exif and is skipped without a copy. */
constexpr uint32_t kMinimumExifPayload = 6 + 8;
constexpr uint32_t kIfdEntrySize = 12;

/* Checks the "Exif" 0 0 identifier and the byte order of a payload of
 * `size` bytes and fills `segment`. False when the payload is not Exif. */
bool openExifSegment(const uint8_t *payload, uint32_t size, ExifSegment *segment);

/* Decodes the entry at `offset`. False when its 12 bytes lie outside. */
bool readIfdEntry(const ExifSegment *segment, uint32_t offset, IfdEntry *entry);

/* The last entry with `tag` in the IFD at `offset` (0, the TIFF header,
 * holds none), reading each entry once up to the first that lies outside.
 * False, with `entry` untouched, when there is none. */
bool findIfdEntry(const ExifSegment *segment, uint32_t offset, uint16_t tag, IfdEntry *entry);

/* Whether `length` bytes at `offset` lie inside the segment. */
inline bool inside(const ExifSegment *s, uint64_t offset, uint64_t length) {
  return offset <= s->size && length <= s->size - offset;
}

/* Numbers at `offset` in the segment's byte order; the caller has checked
 * that they lie inside. */
inline uint16_t read16(const ExifSegment *s, uint32_t offset) {
  return readOrdered16(s->tiff + offset, s->bigEndian);
}

inline uint32_t read32(const ExifSegment *s, uint32_t offset) {
  return readOrdered32(s->tiff + offset, s->bigEndian);
}

/* Number of entries of the IFD at `offset`; 0 when its count lies outside. */
inline uint32_t entryCount(const ExifSegment *s, uint32_t offset) {
  return inside(s, offset, 2) ? read16(s, offset) : 0;
}

/* Offset of entry i of the IFD at `offset` (never overflows: offset lies
 * inside the segment). */
inline uint32_t entryOffset(uint32_t offset, uint32_t i) { return offset + 2 + kIfdEntrySize * i; }

inline bool isRational(const IfdEntry &e) {
  return e.type == kTiffRational || e.type == kTiffSignedRational;
}

/* The quotients of the n rationals (pairs of 32-bit numbers, read signed)
 * at `offset` into values[0] to values[n - 1]. Without a finite quotient
 * (denominator 0): +infinity, -infinity, or NaN for 0/0. False, with
 * nothing stored, when any pair lies outside. */
bool readRationals(const ExifSegment *segment, uint32_t offset, uint32_t n, double *values);

/* An ASCII entry's text: in the entry itself up to 4 bytes, else at its
 * offset. False when it lies outside. */
bool readString(const ExifSegment *segment, const IfdEntry &e, ExifText *text);

#endif /* MOVRELA_EXIF_SEGMENT_H */
