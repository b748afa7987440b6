/*
 * report_walk.cpp - collecting the report's values: IFD0's Make and Model,
 * the Exif IFD's exposure values and the Nikon white balance, each Exif IFD
 * and maker note walked once however often it is pointed to.
 */
#include "exif/report_walk.h"

#include <cmath>
#include <cstring>

#include "exif/maker_note.h"

namespace {

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

/* A rational tag of the report: count, first and (count > 1) second value. */
bool readRationalValue(const ExifSegment *s, const IfdEntry &e, RationalValue *value) {
  double v[2] = {0, 0};
  if (!readRationals(s, e.value, e.count > 1 ? 2 : 1, v)) return false;
  value->count = e.count;
  value->first = v[0];
  value->second = v[1];
  return true;
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

/* An IFD0 entry's say on the orientation: a later entry replaces what an
 * earlier one said. */
void takeOrientation(const IfdEntry &e, uint32_t *orientation) {
  if (e.tag != kTagOrientation) return;
  bool valid = e.type == kTiffShort && e.count >= 1 && e.count <= 2 && e.value >= 1 && e.value <= 8;
  *orientation = valid ? e.value : 1;
}

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
  const int present = static_cast<int>(s->size / kIfdEntrySize);
  if (visited) *visited = walk.visited;
  return n < present ? n : present;
}

uint32_t readOrientation(const ExifSegment *s) {
  uint32_t orientation = 0;
  scanIfd0(s, nullptr, &orientation);
  return orientation;
}
