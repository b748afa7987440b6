/*
 * byte_order.h - reads of 16- and 32-bit numbers from byte buffers, in
 * big-endian order (container headers, JPEG segment lengths) or byte-swapped,
 * that is little-endian (Exif structures marked "II"). No alignment is
 * needed and the host's own byte order does not matter.
 */
#ifndef MOVRELA_BYTE_ORDER_H
#define MOVRELA_BYTE_ORDER_H

#include <cstdint>

inline uint16_t readBigEndian16(const uint8_t *p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

inline uint32_t readBigEndian32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

inline uint16_t readSwapped16(const uint8_t *p) {
  return static_cast<uint16_t>(p[1] << 8 | p[0]);
}

inline uint32_t readSwapped32(const uint8_t *p) {
  return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[0]);
}

/* A number in the given order: big-endian when `bigEndian`, else swapped. */
inline uint16_t readOrdered16(const uint8_t *p, bool bigEndian) {
  return bigEndian ? readBigEndian16(p) : readSwapped16(p);
}

inline uint32_t readOrdered32(const uint8_t *p, bool bigEndian) {
  return bigEndian ? readBigEndian32(p) : readSwapped32(p);
}

#endif /* MOVRELA_BYTE_ORDER_H */
