/*
 * upright.h - a reference bitmap (a .bmp file of djpeg's) turned upright by
 * an Exif orientation, pixel by pixel from the definition: upright (X, Y),
 * counted from the top-left, takes stored
 *   2 (w-1-X, Y)  3 (w-1-X, h-1-Y)  4 (X, h-1-Y)  5 (Y, X)
 *   6 (Y, h-1-X)  7 (w-1-Y, h-1-X)  8 (w-1-Y, X).
 */
#ifndef MOVRELA_TEST_UPRIGHT_H
#define MOVRELA_TEST_UPRIGHT_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform.h"

struct UprightBitmap {
  int32_t width = 0, height = 0, bitCount = 0;
  std::vector<uint8_t> bits; /* bottom-up rows padded to 4 bytes */
};

/* `bmp` is a whole 8- or 24-bit bottom-up .bmp file. */
inline UprightBitmap Upright(const std::string &bmp, uint32_t orientation) {
  uint32_t offBits;
  BITMAPINFOHEADER h;
  std::memcpy(&offBits, bmp.data() + 10, 4);
  std::memcpy(&h, bmp.data() + 14, sizeof h);
  const int32_t w = h.biWidth, ht = h.biHeight, p = h.biBitCount / 8;
  const bool swap = orientation >= 5 && orientation <= 8;
  UprightBitmap out;
  out.width = swap ? ht : w;
  out.height = swap ? w : ht;
  out.bitCount = h.biBitCount;
  const size_t from = (static_cast<size_t>(w) * p + 3) / 4 * 4;
  const size_t to = (static_cast<size_t>(out.width) * p + 3) / 4 * 4;
  out.bits.assign(to * out.height, 0);
  for (int32_t Y = 0; Y < out.height; ++Y) {
    for (int32_t X = 0; X < out.width; ++X) {
      int32_t x = X, y = Y;
      switch (orientation) {
        case 2: x = w - 1 - X; break;
        case 3: x = w - 1 - X; y = ht - 1 - Y; break;
        case 4: y = ht - 1 - Y; break;
        case 5: x = Y; y = X; break;
        case 6: x = Y; y = ht - 1 - X; break;
        case 7: x = w - 1 - Y; y = ht - 1 - X; break;
        case 8: x = w - 1 - Y; y = X; break;
        default: break;
      }
      const uint8_t *s = reinterpret_cast<const uint8_t *>(bmp.data()) + offBits +
                         (ht - 1 - y) * from + x * p;
      std::memcpy(&out.bits[(out.height - 1 - Y) * to + X * p], s, p);
    }
  }
  return out;
}

/* The orientation a sample's name gives ("orientation-grey-5": 5), or 1. */
inline uint32_t SampleOrientation(const std::string &name) {
  if (name.compare(0, 12, "orientation-") != 0) return 1;
  return static_cast<uint32_t>(name.back() - '0');
}

#endif /* MOVRELA_TEST_UPRIGHT_H */
