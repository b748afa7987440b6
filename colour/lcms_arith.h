/*
 * lcms_arith.h - lcms2 2.14's own integer steps (lcms2_internal.h), which
 * our kernels repeat so that their results are lcms2's to the bit. Only
 * colour/ includes it.
 */
#ifndef MOVRELA_LCMS_ARITH_H
#define MOVRELA_LCMS_ARITH_H

#include <cstdint>

namespace lcms {

/* lcms2's fast floor (valid within +-32767), and its saturation to a word. */
inline int quickFloor(double value) {
  union {
    double value;
    int32_t halves[2];
  } temp;
  temp.value = value + 68719476736.0 * 1.5;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return temp.halves[1] >> 16;
#else
  return temp.halves[0] >> 16;
#endif
}

inline uint16_t saturateWord(double d) {
  d += 0.5;
  if (d <= 0) return 0;
  if (d >= 65535.0) return 0xFFFF;
  return static_cast<uint16_t>(static_cast<uint16_t>(quickFloor(d - 32767.0)) + 32767U);
}

/* 8 to 16 bits and back, as lcms2's formatters convert. */
inline uint16_t byteToWord(uint32_t b) { return static_cast<uint16_t>(b << 8 | b); }
inline uint8_t wordToByte(uint32_t w) { return static_cast<uint8_t>(((w * 65281U + 8388608U) >> 24) & 0xFFU); }

/* A word scaled by a grid's domain as a 16.16 number; lcms2 computes it in
 * int, and so wraps where we wrap. */
inline int32_t toFixedDomain(int32_t a) {
  const int32_t n = static_cast<int32_t>(static_cast<uint32_t>(a) + 0x7FFFu);
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(n / 0xFFFF));
}

}  // namespace lcms

#endif /* MOVRELA_LCMS_ARITH_H */
