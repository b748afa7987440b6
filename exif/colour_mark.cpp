/*
 * colour_mark.cpp - reading the Exif colour-space mark.
 */
#include "exif/colour_mark.h"

#include <cstring>

namespace {

constexpr uint16_t kTagExifIfd = 0x8769;          /* IFD0 */
constexpr uint16_t kTagColorSpace = 0xA001;       /* Exif IFD */
constexpr uint16_t kTagInteroperability = 0xA005; /* Exif IFD */
constexpr uint16_t kTagInteropIndex = 0x0001;     /* Interoperability IFD */
constexpr uint32_t kUncalibrated = 0xFFFF;

/* The offset of the IFD that the pointer `tag` of the IFD at `offset`
 * names; 0 when there is no such pointer. */
uint32_t followPointer(const ExifSegment *s, uint32_t offset, uint16_t tag) {
  IfdEntry e;
  if (!findIfdEntry(s, offset, tag, &e) || e.type != kTiffLong || e.count != 1) return 0;
  return e.value;
}

}  // namespace

bool marksAdobeRgb(const ExifSegment *s) {
  if (s->size < 8) return false;
  const uint32_t exif = followPointer(s, read32(s, 4), kTagExifIfd);
  IfdEntry space, index;
  if (exif == 0 || !findIfdEntry(s, exif, kTagColorSpace, &space) || space.type != kTiffShort ||
      space.count != 1 || space.value != kUncalibrated)
    return false;
  const uint32_t interop = followPointer(s, exif, kTagInteroperability);
  ExifText text;
  return interop != 0 && findIfdEntry(s, interop, kTagInteropIndex, &index) &&
         index.type == kTiffAscii && (index.count == 3 || index.count == 4) &&
         readString(s, index, &text) && text.length == 3 && std::memcmp(text.bytes, "R03", 3) == 0;
}
