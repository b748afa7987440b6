/*
 * thumbnail_description.cpp - describing the thumbnail of IFD1: a JPEG one
 * by its offset and length, an uncompressed RGB or YCbCr one by its strip
 * and the tags that can rule it out; and whether its data lies inside the
 * segment.
 */
#include "exif/thumbnail_description.h"

#include <cmath>
#include <cstring>

namespace {

/* Tags of IFD1, the thumbnail's directory. */
enum ThumbnailTag : uint16_t {
  kTagImageWidth = 0x0100,
  kTagImageLength = 0x0101,
  kTagBitsPerSample = 0x0102,
  kTagCompression = 0x0103,
  kTagPhotometric = 0x0106,
  kTagStripOffsets = 0x0111,
  kTagSamplesPerPixel = 0x0115,
  kTagRowsPerStrip = 0x0116,
  kTagStripByteCounts = 0x0117,
  kTagXResolution = 0x011A,
  kTagYResolution = 0x011B,
  kTagPlanarConfiguration = 0x011C,
  kTagJpegOffset = 0x0201,
  kTagJpegLength = 0x0202,
  kTagYCbCrCoefficients = 0x0211,
  kTagYCbCrSubSampling = 0x0212,
  kTagYCbCrPositioning = 0x0213,
  kTagReferenceBlackWhite = 0x0214
};

/* Resolution of a thumbnail bitmap whose own cannot be read. */
constexpr uint32_t kDefaultResolution = 72;

/* The XResolution and YResolution entries of IFD1. */
struct ResolutionEntries {
  IfdEntry entry[2];
  bool seen[2];
};

/* What one IFD1 entry says about the thumbnail; clears `valid` when it
 * rules out an uncompressed one. */
void takeThumbnailTag(const ExifSegment *s, const IfdEntry &e, ExifThumbnail *t, bool *valid,
                      ResolutionEntries *resolution) {
  switch (e.tag) {
    case kTagImageWidth: t->width = e.value; break;
    case kTagImageLength: t->height = e.value; break;
    case kTagBitsPerSample:
      if (e.count == 3 && e.type == kTiffShort && inside(s, e.value, 6)) {
        for (uint32_t i = 0; i < 3; ++i)
          if (read16(s, e.value + 2 * i) != 8) *valid = false;
      }
      break;
    case kTagCompression: if (e.value != 1) *valid = false; break;
    case kTagPhotometric:
      t->photometric = e.value;
      if (e.value != 2 && e.value != 6) *valid = false;
      break;
    case kTagStripOffsets: t->stripOffset = e.value; break;
    case kTagSamplesPerPixel: if (e.value != 3) *valid = false; break;
    case kTagRowsPerStrip: if (e.value != t->height) *valid = false; break;
    case kTagStripByteCounts: t->stripByteCount = e.value; break;
    case kTagXResolution:
      t->xResolution = e.value;
      resolution->entry[0] = e;
      resolution->seen[0] = true;
      break;
    case kTagYResolution:
      t->yResolution = e.value;
      resolution->entry[1] = e;
      resolution->seen[1] = true;
      break;
    case kTagPlanarConfiguration: if (e.value != 1) *valid = false; break;
    case kTagJpegOffset:
      if (e.type == kTiffLong && inside(s, e.value, 2) && s->tiff[e.value] == 0xFF &&
          s->tiff[e.value + 1] == 0xD8)
        t->jpegOffset = e.value;
      break;
    case kTagJpegLength: if (e.type == kTiffLong) t->jpegLength = e.value; break;
    case kTagYCbCrCoefficients:
      if (e.count != 3) *valid = false;
      else readRationals(s, e.value, 3, t->lumaCoefficients);
      break;
    case kTagYCbCrSubSampling:
      t->subsamplingH = e.value;
      t->subsamplingV = read16(s, e.position + 10);
      break;
    case kTagYCbCrPositioning: if (e.value != 2) *valid = false; break;
    case kTagReferenceBlackWhite:
      if (e.count != 6) *valid = false;
      else readRationals(s, e.value, 6, t->referenceBlackWhite);
      break;
    default: break;
  }
}

/* The rounded quotient of a resolution rational, when it is a usable
 * pixels-per-metre value. */
bool readResolution(const ExifSegment *s, const IfdEntry &e, uint32_t *resolution) {
  double value = 0;
  if (!isRational(e) || !readRationals(s, e.value, 1, &value)) return false;
  if (!(value >= 0 && value < 2147483647.0)) return false; /* also NaN and infinities */
  *resolution = static_cast<uint32_t>(std::floor(value + 0.5));
  return true;
}

/* Whether the thumbnail's data lies wholly inside the segment and has
 * pixels. */
bool usable(const ExifSegment *s, const ExifThumbnail *t, uint32_t kind) {
  if (kind == 1) return inside(s, t->jpegOffset, t->jpegLength);
  if (t->width == 0 || t->height == 0) return false;
  if (kind == 2) {
    /* Three bytes a pixel; the pixel count alone fits 64 bits, times three
     * it may not. */
    uint64_t pixels = uint64_t{t->width} * t->height;
    return pixels <= s->size / 3 && inside(s, t->stripOffset, pixels * 3);
  }
  /* Kind 3: one data unit of H x V luma bytes, Cb and Cr per block. */
  uint64_t h = t->subsamplingH, v = t->subsamplingV;
  if (h == 0 || v == 0) return false;
  uint64_t unit = h * v + 2;
  if (unit > s->size) return false;
  uint64_t blocks = ((t->width + h - 1) / h) * ((t->height + v - 1) / v);
  if (blocks > s->size / unit) return false;
  return inside(s, t->stripOffset, blocks * unit);
}

}  // namespace

uint32_t describeThumbnail(const ExifSegment *s, ExifThumbnail *t) {
  uint8_t *saved = t->savedSegment;
  std::memset(t, 0, sizeof *t);
  t->savedSegment = saved;

  uint32_t ifd0 = read32(s, 4);
  if (ifd0 == 0 || !inside(s, ifd0, 2)) return 0;
  uint64_t next = uint64_t{ifd0} + 2 + uint64_t{kIfdEntrySize} * read16(s, ifd0);
  if (!inside(s, next, 4)) return 0;
  uint32_t ifd1 = read32(s, static_cast<uint32_t>(next));
  if (ifd1 == 0) return 0;

  static const double kLuma[3] = {0.299, 0.587, 0.114};
  static const double kReference[6] = {15, 235, 128, 240, 128, 240};
  std::memcpy(t->lumaCoefficients, kLuma, sizeof kLuma);
  std::memcpy(t->referenceBlackWhite, kReference, sizeof kReference);
  bool valid = true;

  ResolutionEntries resolution;
  std::memset(&resolution, 0, sizeof resolution);
  uint32_t count = entryCount(s, ifd1);
  for (uint32_t i = 0; i < count; ++i) {
    IfdEntry e;
    if (!readIfdEntry(s, entryOffset(ifd1, i), &e)) break;
    takeThumbnailTag(s, e, t, &valid, &resolution);
  }

  uint32_t kind = 0;
  if (t->jpegLength != 0 && t->jpegOffset != 0) kind = 1;
  else if (valid && t->photometric == 2) kind = 2;
  else if (valid && t->photometric == 6) kind = 3;
  if (kind != 0 && !usable(s, t, kind)) kind = 0;
  t->kind = kind;

  uint32_t x = 0, y = 0;
  if (resolution.seen[0] && resolution.seen[1] && readResolution(s, resolution.entry[0], &x) &&
      readResolution(s, resolution.entry[1], &y)) {
    t->xResolution = x;
    t->yResolution = y;
  } else {
    t->xResolution = kDefaultResolution;
    t->yResolution = kDefaultResolution;
  }
  return kind;
}
