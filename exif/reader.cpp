/*
 * reader.cpp - the Exif and comment marker processors and the parser of the
 * copied Exif segment.
 *
 * The processors run inside jpeg_read_header; a failing source or missing
 * memory leaves them by a jump to the request's recovery point, so their
 * frames hold nothing with a destructor.
 */
#include "exif/reader.h"

#include <cmath>
#include <cstring>

#include "base/blocks.h"
#include "base/work_hooks.h"
#include "containers/byte_order.h"
#include "decoder/error_manager.h"
#include "decoder/memory_layer.h"
#include "decoder/segment_reader.h"
#include "exif/colour_mark.h"

extern "C" {
#include <jerror.h>
}

namespace {

/* "Exif" 0 0, then the TIFF header: byte order, 42, offset of IFD0. */
const uint8_t kExifIdentifier[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint32_t kIdentifierSize = 6;
constexpr uint32_t kTiffHeaderSize = 8;
/* A shorter payload cannot be Exif: it is skipped without a copy. */
constexpr uint32_t kMinimumExifPayload = kIdentifierSize + kTiffHeaderSize;
constexpr uint32_t kEntrySize = 12;

/* Tags of IFD0 and the Exif IFD that the report reads. */
enum ReportTag : uint16_t {
  kTagOrientation = 0x0112,
  kTagMake = 0x010F,
  kTagModel = 0x0110,
  kTagExifIfd = 0x8769,
  kTagExposureTime = 0x829A,
  kTagFNumber = 0x829D,
  kTagExposureProgram = 0x8822,
  kTagIsoSpeed = 0x8827,
  kTagDateTimeOriginal = 0x9003,
  kTagCompressedBpp = 0x9102,
  kTagShutterSpeed = 0x9201,
  kTagExposureBias = 0x9204,
  kTagMeteringMode = 0x9207,
  kTagLightSource = 0x9208,
  kTagFlash = 0x9209,
  kTagFocalLength = 0x920A,
  kTagMakerNote = 0x927C
};

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

/* Nikon's maker note: "Nikon" 0, two bytes, its entry count at 8 and its
 * entries from 10. Shorter ones cannot hold an entry. */
constexpr uint32_t kNikonMinimumCount = 22;
constexpr uint32_t kNikonCountOffset = 8;
constexpr uint32_t kNikonEntriesOffset = 10;
constexpr uint16_t kNikonWhiteBalanceTag = 7;

/* Resolution of a thumbnail bitmap whose own cannot be read. */
constexpr uint32_t kDefaultResolution = 72;

bool inside(const ExifSegment *s, uint64_t offset, uint64_t length) {
  return offset <= s->size && length <= s->size - offset;
}

uint16_t read16(const ExifSegment *s, uint32_t offset) {
  return readOrdered16(s->tiff + offset, s->bigEndian);
}

uint32_t read32(const ExifSegment *s, uint32_t offset) {
  return readOrdered32(s->tiff + offset, s->bigEndian);
}

/* numerator / denominator; without a finite quotient (denominator 0):
 * +infinity, -infinity, or NaN for 0/0. */
double quotient(int32_t numerator, int32_t denominator) {
  if (denominator == 0) {
    if (numerator == 0) return std::nan("");
    return numerator > 0 ? HUGE_VAL : -HUGE_VAL;
  }
  return static_cast<double>(numerator) / static_cast<double>(denominator);
}

/* The quotients of the n rationals at `offset` into values[0] to
 * values[n - 1]. False, with nothing stored, when any lies outside. */
bool readRationals(const ExifSegment *s, uint32_t offset, uint32_t n, double *values) {
  if (!inside(s, offset, 8 * uint64_t{n})) return false;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t position = offset + 8 * i;
    values[i] = quotient(static_cast<int32_t>(read32(s, position)),
                         static_cast<int32_t>(read32(s, position + 4)));
  }
  return true;
}

bool isRational(const IfdEntry &e) {
  return e.type == kTiffRational || e.type == kTiffSignedRational;
}

/* An ASCII entry's text: in the entry itself up to 4 bytes, else at its
 * offset. False when it lies outside. */
bool readString(const ExifSegment *s, const IfdEntry &e, ExifText *text) {
  uint32_t start = e.count <= 4 ? e.position + 8 : e.value;
  if (!inside(s, start, e.count)) return false;
  const char *bytes = reinterpret_cast<const char *>(s->tiff + start);
  const void *zero = std::memchr(bytes, 0, e.count);
  text->bytes = bytes;
  text->length = zero ? static_cast<uint32_t>(static_cast<const char *>(zero) - bytes) : e.count;
  return true;
}

/* A rational tag of the report: count, first and (count > 1) second value. */
bool readRationalValue(const ExifSegment *s, const IfdEntry &e, RationalValue *value) {
  double v[2] = {0, 0};
  if (!readRationals(s, e.value, e.count > 1 ? 2 : 1, v)) return false;
  value->count = e.count;
  value->first = v[0];
  value->second = v[1];
  return true;
}

/* Number of entries of the IFD at `offset`; 0 when its count lies outside. */
uint32_t entryCount(const ExifSegment *s, uint32_t offset) {
  return inside(s, offset, 2) ? read16(s, offset) : 0;
}

/* Offset of entry i of the IFD at `offset` (never overflows: offset lies
 * inside the segment). */
uint32_t entryOffset(uint32_t offset, uint32_t i) { return offset + 2 + kEntrySize * i; }

/* A segment may point at the same Exif IFD or maker note many times over,
 * or at many overlapping ones. Each distinct one is walked once; a camera
 * writes one of each, so beyond these many distinct ones nothing more is
 * walked, and the work stays linear in the segment. */
constexpr uint32_t kDistinctIfds = 8;

/* What walking one maker note gave: re-applied when it is pointed to again. */
struct MakerNoteResult {
  uint32_t offset;       /* of the maker note */
  int found;             /* white-balance entries */
  uint32_t whiteBalance; /* the last one's value */
};

/* State of one report walk over a segment. */
struct ReportWalk {
  ExifReportData *data;
  uint32_t visited;                    /* entries read so far */
  uint32_t exifIfds;                   /* distinct Exif IFD offsets */
  uint32_t exifOffset[kDistinctIfds];
  uint32_t exifLast[kDistinctIfds];    /* IFD0 index of the last pointer to each */
  uint32_t notes;                      /* distinct maker notes walked */
  MakerNoteResult note[kDistinctIfds];
};

/* The Nikon maker note of a MakerNote entry: where its entries start and
 * how many there are. False when the entry is no Nikon maker note. */
bool findNikonEntries(const ExifSegment *s, const IfdEntry *makerNote, uint32_t *note,
                      uint32_t *entries) {
  if (makerNote->count < kNikonMinimumCount) return false;
  *note = makerNote->value;
  if (!inside(s, *note, kNikonEntriesOffset)) return false;
  static const char kNikon[6] = {'n', 'i', 'k', 'o', 'n', 0};
  for (uint32_t i = 0; i < 6; ++i) {
    uint8_t c = s->tiff[*note + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
    if (c != static_cast<uint8_t>(kNikon[i])) return false;
  }
  *entries = read16(s, *note + kNikonCountOffset);
  return uint64_t{*entries} * kEntrySize <= makerNote->count - 8;
}

/* A MakerNote entry of the Exif IFD: its tags count only the first time its
 * maker note is walked; later pointers to it re-apply what that walk found. */
int takeMakerNote(const ExifSegment *s, const IfdEntry &e, ReportWalk *walk) {
  uint32_t note = 0, m = 0;
  if (!findNikonEntries(s, &e, &note, &m)) return 0;
  ExifReportData *d = walk->data;
  for (uint32_t i = 0; i < walk->notes; ++i) {
    const MakerNoteResult &walked = walk->note[i];
    if (walked.offset != note) continue;
    if (walked.found != 0) {
      d->makerNoteFlags |= kHasNikonWhiteBalance;
      d->nikonWhiteBalance = walked.whiteBalance;
    }
    return 0;
  }
  if (walk->notes == kDistinctIfds) return 0;
  MakerNoteResult &r = walk->note[walk->notes++];
  r.offset = note;
  r.found = readNikonWhiteBalance(s, &e, d, &walk->visited);
  r.whiteBalance = d->nikonWhiteBalance;
  return r.found;
}

int takeExifTag(const ExifSegment *s, const IfdEntry &e, ReportWalk *walk) {
  ExifReportData *d = walk->data;
  RationalValue *rational = nullptr;
  uint32_t *number = nullptr;
  uint32_t flag = 0;
  switch (e.tag) {
    case kTagDateTimeOriginal:
      if (e.type != kTiffAscii) return 0;
      return readString(s, e, &d->date) ? 1 : 0;
    case kTagExposureProgram: number = &d->exposureProgram; flag = kHasExposureProgram; break;
    case kTagIsoSpeed: number = &d->iso; flag = kHasIso; break;
    case kTagMeteringMode: number = &d->meteringMode; flag = kHasMeteringMode; break;
    case kTagLightSource: number = &d->lightSource; flag = kHasLightSource; break;
    case kTagFlash: number = &d->flash; flag = kHasFlash; break;
    case kTagExposureTime: rational = &d->exposureTime; break;
    case kTagFNumber: rational = &d->fNumber; break;
    case kTagCompressedBpp: rational = &d->compressedBpp; break;
    case kTagExposureBias: rational = &d->exposureBias; break;
    case kTagFocalLength: rational = &d->focalLength; break;
    case kTagShutterSpeed: {
      /* An APEX value v: the exposure lasts 1 / 2^v seconds. */
      double apex = 0;
      if (!isRational(e) || !readRationals(s, e.value, 1, &apex)) return 0;
      d->shutter.count = 1;
      d->shutter.first = 1 / std::pow(2.0, apex);
      d->shutter.second = 0;
      return 1;
    }
    case kTagMakerNote:
      return e.type == kTiffUndefined ? takeMakerNote(s, e, walk) : 0;
    default:
      return 0;
  }
  if (number) {
    if (e.type != kTiffShort) return 0;
    *number = e.value;
    d->presentFlags |= flag;
    return 1;
  }
  if (!isRational(e)) return 0;
  return readRationalValue(s, e, rational) ? 1 : 0;
}

int walkExifIfd(const ExifSegment *s, uint32_t offset, ReportWalk *walk) {
  int n = 0;
  uint32_t count = entryCount(s, offset);
  for (uint32_t i = 0; i < count; ++i) {
    IfdEntry e;
    if (!readIfdEntry(s, entryOffset(offset, i), &e)) break;
    ++walk->visited;
    n += takeExifTag(s, e, walk);
  }
  return n;
}

bool isExifPointer(const IfdEntry &e) { return e.tag == kTagExifIfd && e.type == kTiffLong; }

/* Notes the Exif IFD pointer at IFD0 index `index`; the table keeps, for
 * each distinct offset, the index of its last pointer. */
void noteExifPointer(ReportWalk *walk, uint32_t offset, uint32_t index) {
  for (uint32_t k = 0; k < walk->exifIfds; ++k) {
    if (walk->exifOffset[k] == offset) {
      walk->exifLast[k] = index;
      return;
    }
  }
  if (walk->exifIfds == kDistinctIfds) return;
  walk->exifOffset[walk->exifIfds] = offset;
  walk->exifLast[walk->exifIfds] = index;
  ++walk->exifIfds;
}

/* Whether the pointer at IFD0 index `index` is the last one to its Exif
 * IFD. Walking each IFD only there gives what walking it at every pointer
 * gives: its own values, applied last, win over the earlier walks. */
bool isLastPointer(const ReportWalk *walk, uint32_t offset, uint32_t index) {
  for (uint32_t k = 0; k < walk->exifIfds; ++k)
    if (walk->exifOffset[k] == offset) return walk->exifLast[k] == index;
  return false;
}

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

/* An IFD0 entry's say on the orientation: a later entry replaces what an
 * earlier one said. */
void takeOrientation(const IfdEntry &e, uint32_t *orientation) {
  if (e.tag != kTagOrientation) return;
  bool valid = e.type == kTiffShort && e.count >= 1 && e.count <= 2 && e.value >= 1 && e.value <= 8;
  *orientation = valid ? e.value : 1;
}

/* An Exif segment's orientation, when it has one, replaces what an earlier
 * segment gave. */
void noteOrientation(j_decompress_ptr cinfo, uint32_t orientation) {
  if (orientation != 0) ContextOf(cinfo)->exifOrientation = orientation;
}

/* The Adobe RGB mark, read only when the colours are converted. */
void noteColourMark(j_decompress_ptr cinfo, const ExifSegment *segment) {
  RequestContext *context = ContextOf(cinfo);
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
  ContextOf(cinfo)->exifCopy = copy;
  copyBytes(cinfo, copy, payload);
  *size = payload;
  return copy;
}

/* Frees the copy in the exifCopy slot. */
void freePayload(j_decompress_ptr cinfo, uint8_t *copy, uint32_t size) {
  ContextOf(cinfo)->exifCopy = nullptr;
  jpeg_free_small(reinterpret_cast<j_common_ptr>(cinfo), copy, size);
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
  if (!inside(s, offset, kEntrySize)) return false;
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

int readNikonWhiteBalance(const ExifSegment *s, const IfdEntry *makerNote, ExifReportData *data,
                          uint32_t *visited) {
  uint32_t note = 0, m = 0;
  if (!findNikonEntries(s, makerNote, &note, &m)) return 0;
  int found = 0;
  for (uint32_t i = 0; i < m; ++i) {
    IfdEntry e;
    if (!readIfdEntry(s, note + kNikonEntriesOffset + kEntrySize * i, &e)) break;
    if (visited) ++*visited;
    if (e.tag == kNikonWhiteBalanceTag && (e.type == kTiffShort || e.type == kTiffLong)) {
      data->makerNoteFlags |= kHasNikonWhiteBalance;
      data->nikonWhiteBalance = e.value;
      ++found;
    }
  }
  return found;
}

namespace {

/* A first pass over IFD0: where each Exif pointer last stands (with a
 * walk) and the orientation (with a destination). */
void scanIfd0(const ExifSegment *s, ReportWalk *walk, uint32_t *orientation) {
  uint32_t ifd0 = read32(s, 4);
  uint32_t count = entryCount(s, ifd0);
  for (uint32_t i = 0; i < count; ++i) {
    IfdEntry e;
    if (!readIfdEntry(s, entryOffset(ifd0, i), &e)) break;
    if (walk && isExifPointer(e)) noteExifPointer(walk, e.value, i);
    if (orientation) takeOrientation(e, orientation);
  }
}

}  // namespace

int collectReportValues(const ExifSegment *s, ExifReportData *data, uint32_t *visited,
                        uint32_t *orientation) {
  ReportWalk walk;
  std::memset(&walk, 0, sizeof walk);
  walk.data = data;
  int n = 0;
  scanIfd0(s, &walk, orientation);
  uint32_t ifd0 = read32(s, 4);
  uint32_t count = entryCount(s, ifd0);
  for (uint32_t i = 0; i < count; ++i) {
    IfdEntry e;
    if (!readIfdEntry(s, entryOffset(ifd0, i), &e)) break;
    ++walk.visited;
    if (e.tag == kTagMake && e.type == kTiffAscii) {
      if (readString(s, e, &data->maker)) ++n;
    } else if (e.tag == kTagModel && e.type == kTiffAscii) {
      if (readString(s, e, &data->model)) ++n;
    } else if (isExifPointer(e) && isLastPointer(&walk, e.value, i)) {
      n += walkExifIfd(s, e.value, &walk);
    }
  }
  /* Each tag taken is an entry of its own unless IFDs overlap: n never
   * counts more entries than the segment holds. */
  const int present = static_cast<int>(s->size / kEntrySize);
  if (visited) *visited = walk.visited;
  return n < present ? n : present;
}

uint32_t readOrientation(const ExifSegment *s) {
  uint32_t orientation = 0;
  scanIfd0(s, nullptr, &orientation);
  return orientation;
}

uint32_t describeThumbnail(const ExifSegment *s, ExifThumbnail *t) {
  uint8_t *saved = t->savedSegment;
  std::memset(t, 0, sizeof *t);
  t->savedSegment = saved;

  uint32_t ifd0 = read32(s, 4);
  if (ifd0 == 0 || !inside(s, ifd0, 2)) return 0;
  uint64_t next = uint64_t{ifd0} + 2 + uint64_t{kEntrySize} * read16(s, ifd0);
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
    RequestContext *context = ContextOf(cinfo);
    bool built = false;
    /* The strings point into the copy: build before it is freed. */
    if (n > 0 && context->languageKnown)
      built = buildExifReportIn(context->hostJapanese ? ReportJapanese : ReportEnglish, &data, n,
                                &report, &length);
    else if (n > 0)
      built = buildExifReport(&data, n, &report, &length);
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
  ExifThumbnail *thumbnail = &ContextOf(cinfo)->thumbnail;
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
  ContextOf(cinfo)->exifCopy = nullptr; /* owned by the descriptor now */
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
  ContextOf(cinfo)->exifCopy = copy;
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
  RequestContext *context = ContextOf(cinfo);
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
