/*
 * thumbnail.cpp - pixel conversions of uncompressed Exif thumbnails.
 *
 * The YCbCr conversion works in double precision and truncates toward zero
 * at each step; values stay doubles (std::trunc) until the final clamp, so
 * that no out-of-range or undefined quotient ever becomes an integer.
 */
#include "exif/thumbnail.h"

#include <cmath>

namespace {

/* The TIFF header starts after the six-byte "Exif" identifier. */
constexpr uint32_t kTiffBase = 6;

uint32_t colourWord(uint32_t red, uint32_t green, uint32_t blue) {
  return red << 24 | green << 16 | blue << 8;
}

/* A colour channel from its truncated value: at most 255, and 0 for a
 * value that is 0, negative or not a number. */
uint32_t channel(double value) {
  if (!(value > 0)) return 0;
  return value >= 255 ? 255u : static_cast<uint32_t>(value);
}

const uint8_t *pixelData(const ExifThumbnail *t) {
  return t->savedSegment + kTiffBase + t->stripOffset;
}

}  // namespace

void convertRgbThumbnail(const ExifThumbnail *t, DibWriter *writer) {
  const uint8_t *p = pixelData(t);
  const int32_t width = static_cast<int32_t>(t->width);
  const int32_t height = static_cast<int32_t>(t->height);
  for (int32_t row = 0; row < height; ++row) {
    writer->seek(writer, 0, height - 1 - row);
    for (int32_t x = 0; x < width; ++x, p += 3) writer->putNext(writer, colourWord(p[0], p[1], p[2]));
  }
}

void convertYCbCrThumbnail(const ExifThumbnail *t, DibWriter *writer) {
  const uint32_t h = t->subsamplingH, v = t->subsamplingV;
  if (h == 0 || v == 0) return;
  const uint32_t width = t->width, height = t->height;
  const double lr = t->lumaCoefficients[0], lg = t->lumaCoefficients[1];
  const double lb = t->lumaCoefficients[2];
  const double blackY = t->referenceBlackWhite[0], blackCb = t->referenceBlackWhite[2];
  const double blackCr = t->referenceBlackWhite[4];
  const uint32_t lumaBytes = h * v;

  const uint8_t *unit = pixelData(t);
  for (uint64_t y0 = 0; y0 < height; y0 += v) {
    for (uint64_t x0 = 0; x0 < width; x0 += h, unit += lumaBytes + 2) {
      const double cb = std::trunc(unit[lumaBytes] - blackCb);
      const double cr = std::trunc(unit[lumaBytes + 1] - blackCr);
      const uint8_t *luma = unit;
      for (uint32_t j = 0; j < v; ++j) {
        for (uint32_t k = 0; k < h; ++k) {
          const double y = std::trunc(*luma++ - blackY);
          double red = std::trunc(y + (2 - 2 * lr) * cr);
          if (red >= 255) red = 255;
          double blue = std::trunc(y + (2 - 2 * lb) * cb);
          if (blue >= 255) blue = 255;
          /* Green from the red and blue capped above, not yet raised to 0. */
          const double green = std::trunc((y - lb * blue - lr * red) / lg);
          const uint64_t x = x0 + k, row = y0 + j;
          if (x >= width || row >= height) continue;
          writer->setPixel(writer, static_cast<int32_t>(x), static_cast<int32_t>(height - 1 - row),
                           colourWord(channel(red), channel(green), channel(blue)));
        }
      }
    }
  }
}

void setThumbnailResolution(const ExifThumbnail *t, DibWriter *writer) {
  writer->header->biXPelsPerMeter = static_cast<LONG>(t->xResolution);
  writer->header->biYPelsPerMeter = static_cast<LONG>(t->yResolution);
}

bool makeThumbnailBitmap(const ExifThumbnail *t, DibWriter *writer) {
  if (t->kind != 2 && t->kind != 3) return false;
  if (createDibWriter(writer, static_cast<int32_t>(t->width), static_cast<int32_t>(t->height)) !=
      Success)
    return false;
  if (t->kind == 2) convertRgbThumbnail(t, writer);
  else convertYCbCrThumbnail(t, writer);
  setThumbnailResolution(t, writer);
  unlockDibWriter(writer);
  return true;
}
