/*
 * profile_limits.cpp - walks an ICC profile's tag table and, for the tag
 * types that make lcms2 work (curves, lookup tables, multiProcessElements
 * lists), the counts each declares. Only counts and offsets are read; no
 * number is evaluated.
 */
#include "colour/profile_limits.h"

#include "base/byte_order.h"

namespace {

constexpr uint32_t kHeaderBytes = 128;
constexpr uint32_t kTagEntryBytes = 12;

/* One structure of the profile: a tag, or an element inside one. */
struct Piece {
  const uint8_t *bytes;
  uint32_t size;
};

bool holds(Piece p, uint32_t offset, uint64_t length) {
  return offset <= p.size && length <= p.size - offset;
}

uint32_t word(Piece p, uint32_t offset) { return readBigEndian32(p.bytes + offset); }
uint16_t half(Piece p, uint32_t offset) { return readBigEndian16(p.bytes + offset); }

constexpr uint32_t sig(const char (&name)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(name[0])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(name[3]));
}

uint32_t padded(uint64_t length) { return static_cast<uint32_t>((length + 3) & ~uint64_t{3}); }

/* A colour lookup table's grid: `points` holds one count per input. */
bool gridWithin(const uint8_t *points, uint32_t inputs) {
  if (inputs == 0 || inputs > kMostClutInputs) return false;
  uint64_t total = 1;
  for (uint32_t i = 0; i < inputs; ++i) {
    total *= points[i];
    if (total == 0 || total > kMostGridPoints) return false;
  }
  return true;
}

/* A 'curv' or 'para' curve at `at` of a lookup-table tag; its padded
 * length goes to `length`. */
bool curveWithin(Piece p, uint32_t at, uint32_t *length) {
  static const uint8_t kParameters[] = {1, 3, 4, 5, 7};
  if (!holds(p, at, 12)) return false;
  uint64_t bytes = 0;
  if (word(p, at) == sig("curv")) {
    const uint32_t entries = word(p, at + 8);
    if (entries > kMostCurveEntries) return false;
    bytes = 12 + uint64_t{2} * entries;
  } else if (word(p, at) == sig("para")) {
    const uint16_t type = half(p, at + 8);
    if (type >= sizeof kParameters) return false;
    bytes = 12 + uint64_t{4} * kParameters[type];
  } else {
    return false;
  }
  *length = padded(bytes);
  return holds(p, at, bytes);
}

/* `count` curves one after another from `at`; offset 0 means none. */
bool curvesWithin(Piece p, uint32_t at, uint32_t count) {
  if (at == 0) return true;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t length = 0;
    if (!curveWithin(p, at, &length)) return false;
    at += length;
  }
  return true;
}

/* 'mAB ' and 'mBA ': up to five stages, three sets of curves and a table. */
bool lutAbWithin(Piece p, bool aToB) {
  if (!holds(p, 0, 32)) return false;
  const uint32_t in = p.bytes[8], out = p.bytes[9];
  const uint32_t clut = word(p, 24);
  if (clut != 0) {
    if (!holds(p, clut, 20) || !gridWithin(p.bytes + clut, in)) return false;
  }
  /* B and M curves face the output in 'mAB ', the input in 'mBA '. */
  const uint32_t a = aToB ? in : out, bm = aToB ? out : in;
  return curvesWithin(p, word(p, 12), bm) && curvesWithin(p, word(p, 20), bm) &&
         curvesWithin(p, word(p, 28), a);
}

/* 'mft1' and 'mft2': curves, a table and curves. */
bool lutWithin(Piece p, bool sixteen) {
  if (!holds(p, 0, sixteen ? 52 : 48)) return false;
  const uint8_t points[4] = {p.bytes[10], p.bytes[10], p.bytes[10], p.bytes[10]};
  if (!gridWithin(points, p.bytes[8])) return false;
  return !sixteen || (half(p, 48) <= kMostCurveEntries && half(p, 50) <= kMostCurveEntries);
}

/* A 'curf' segmented curve of a curve-set element. */
bool segmentedCurveWithin(Piece p) {
  static const uint8_t kParameters[] = {4, 5, 5};
  if (!holds(p, 0, 12) || word(p, 0) != sig("curf")) return false;
  const uint32_t segments = half(p, 8);
  if (segments == 0 || segments > kMostCurveSegments) return false;
  uint64_t at = 12 + uint64_t{4} * (segments - 1);
  for (uint32_t i = 0; i < segments; ++i) {
    if (at > p.size || !holds(p, static_cast<uint32_t>(at), 12)) return false;
    const uint32_t s = static_cast<uint32_t>(at);
    if (word(p, s) == sig("parf")) {
      const uint16_t type = half(p, s + 8);
      if (type >= sizeof kParameters) return false;
      at += 12 + uint64_t{4} * kParameters[type];
    } else if (word(p, s) == sig("samf")) {
      const uint32_t entries = word(p, s + 8);
      if (entries > kMostCurveEntries) return false;
      at += 12 + uint64_t{4} * entries;
    } else {
      return false;
    }
  }
  return at <= p.size;
}

/* One element of a multiProcessElements list. */
bool elementWithin(Piece e) {
  if (!holds(e, 0, 12)) return false;
  const uint32_t in = half(e, 8);
  switch (word(e, 0)) {
    case sig("cvst"):
      if (!holds(e, 12, uint64_t{8} * in)) return false;
      for (uint32_t i = 0; i < in; ++i) {
        const uint32_t offset = word(e, 12 + 8 * i), size = word(e, 16 + 8 * i);
        if (!holds(e, offset, size) || !segmentedCurveWithin({e.bytes + offset, size})) return false;
      }
      return true;
    case sig("clut"):
      return holds(e, 12, 16) && gridWithin(e.bytes + 12, in);
    case sig("matf"):
    case sig("bACS"):
    case sig("eACS"):
      return true;
    default:
      return false;
  }
}

bool elementsWithin(Piece p) {
  if (!holds(p, 0, 16)) return false;
  const uint32_t count = word(p, 12);
  if (count == 0 || count > kMostElements || !holds(p, 16, uint64_t{8} * count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t offset = word(p, 16 + 8 * i), size = word(p, 20 + 8 * i);
    if (!holds(p, offset, size) || !elementWithin({p.bytes + offset, size})) return false;
  }
  return true;
}

bool tagWithin(Piece tag) {
  uint32_t length = 0;
  switch (word(tag, 0)) {
    case sig("curv"):
    case sig("para"):
      return curveWithin(tag, 0, &length);
    case sig("mAB "):
      return lutAbWithin(tag, true);
    case sig("mBA "):
      return lutAbWithin(tag, false);
    case sig("mft1"):
      return lutWithin(tag, false);
    case sig("mft2"):
      return lutWithin(tag, true);
    case sig("mpet"):
      return elementsWithin(tag);
    default:
      return true; /* texts, numbers and the like: linear in their bytes */
  }
}

}  // namespace

bool profileWithinLimits(const uint8_t *bytes, uint32_t size) {
  const Piece profile = {bytes, size};
  if (!bytes || !holds(profile, 0, kHeaderBytes + 4)) return false;
  const uint32_t tags = word(profile, kHeaderBytes);
  if (tags > kMostProfileTags || !holds(profile, kHeaderBytes + 4, uint64_t{kTagEntryBytes} * tags))
    return false;
  for (uint32_t i = 0; i < tags; ++i) {
    const uint32_t entry = kHeaderBytes + 4 + kTagEntryBytes * i;
    const uint32_t offset = word(profile, entry + 4), length = word(profile, entry + 8);
    /* lcms2 passes over a tag that does not lie inside the profile. */
    if (!holds(profile, offset, length) || length < 8) continue;
    if (!tagWithin({bytes + offset, length})) return false;
  }
  return true;
}
