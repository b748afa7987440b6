/*
 * colour_mark.cpp - reading the Exif colour-space mark.
 */
#include "exif/colour_mark.h"

#include <cstring>

#include "base/byte_order.h"

namespace {

constexpr uint16_t kTagExifIfd = 0x8769;          /* IFD0 */
constexpr uint16_t kTagColorSpace = 0xA001;       /* Exif IFD */
constexpr uint16_t kTagInteroperability = 0xA005; /* Exif IFD */
constexpr uint16_t kTagInteropIndex = 0x0001;     /* Interoperability IFD */
constexpr uint32_t kUncalibrated = 0xFFFF;
constexpr uint32_t kEntrySize = 12;

/* The entries of the IFD at `offset` with the two tags asked for (the last
 * of each); false for a tag not found. Reads each entry once. */
void findEntries(const ExifSegment *s, uint32_t offset, uint16_t tagA, IfdEntry *a, bool *foundA,
                 uint16_t tagB, IfdEntry *b, bool *foundB) {
  *foundA = *foundB = false;
  if (offset == 0 || offset > s->size || s->size - offset < 2) return;
  const uint32_t count = readOrdered16(s->tiff + offset, s->bigEndian);
  for (uint32_t i = 0; i < count; ++i) {
    IfdEntry e;
    if (!readIfdEntry(s, offset + 2 + kEntrySize * i, &e)) break;
    if (e.tag == tagA) *a = e, *foundA = true;
    if (e.tag == tagB) *b = e, *foundB = true;
  }
}

bool isPointer(const IfdEntry &e) { return e.type == kTiffLong && e.count == 1; }

}  // namespace

bool marksAdobeRgb(const ExifSegment *s) {
  if (s->size < 8) return false;
  IfdEntry exif, unused, space, interop, index;
  bool found, none, haveSpace, haveInterop, haveIndex;
  findEntries(s, readOrdered32(s->tiff + 4, s->bigEndian), kTagExifIfd, &exif, &found,
              kTagExifIfd, &unused, &none);
  if (!found || !isPointer(exif)) return false;
  findEntries(s, exif.value, kTagColorSpace, &space, &haveSpace, kTagInteroperability, &interop,
              &haveInterop);
  if (!haveSpace || space.type != kTiffShort || space.count != 1 || space.value != kUncalibrated)
    return false;
  if (!haveInterop || !isPointer(interop)) return false;
  findEntries(s, interop.value, kTagInteropIndex, &index, &haveIndex, kTagInteropIndex, &unused,
              &none);
  return haveIndex && index.type == kTiffAscii && (index.count == 3 || index.count == 4) &&
         std::memcmp(s->tiff + index.position + 8, "R03", 3) == 0 &&
         (index.count == 3 || s->tiff[index.position + 11] == 0);
}
