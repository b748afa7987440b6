/*
 * exif_thumbnail_fuzzer.cpp - the thumbnail conversions over any size,
 * subsampling, luma coefficients and black levels (any bit pattern,
 * infinities and NaN included) and any pixel bytes. The pixel data is
 * sized exactly as the preview reader guarantees it, so that a read past it
 * is caught.
 */
#include <cstdint>
#include <cstring>
#include <vector>

#include "exif/thumbnail.h"
#include "fuzz_setup.h"
#include "work_bounds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  WorkScope work(data, size, 1);
  FuzzSettings();
  if (size < 6) return 0;
  ExifThumbnail t = {};
  t.kind = (data[0] & 1) ? 3 : 2;
  t.width = 1 + data[1] % 40;
  t.height = 1 + data[2] % 40;
  t.subsamplingH = 1 + data[3] % 4;
  t.subsamplingV = 1 + data[4] % 4;
  t.xResolution = 72;
  t.yResolution = 72;
  size_t at = 5;
  const bool ownParameters = data[0] & 2;
  double *parameters[9] = {&t.lumaCoefficients[0], &t.lumaCoefficients[1], &t.lumaCoefficients[2],
                           &t.referenceBlackWhite[0], &t.referenceBlackWhite[1],
                           &t.referenceBlackWhite[2], &t.referenceBlackWhite[3],
                           &t.referenceBlackWhite[4], &t.referenceBlackWhite[5]};
  const double defaults[9] = {0.299, 0.587, 0.114, 15, 235, 128, 240, 128, 240};
  for (int i = 0; i < 9; ++i) {
    *parameters[i] = defaults[i];
    if (ownParameters && at + 8 <= size) {
      std::memcpy(parameters[i], data + at, 8);
      at += 8;
    }
  }
  size_t pixels;
  if (t.kind == 2) {
    pixels = size_t{t.width} * t.height * 3;
  } else {
    size_t across = (t.width + t.subsamplingH - 1) / t.subsamplingH;
    size_t down = (t.height + t.subsamplingV - 1) / t.subsamplingV;
    pixels = across * down * (t.subsamplingH * t.subsamplingV + 2);
  }
  /* The segment: identifier, TIFF header, then exactly the pixel data. */
  std::vector<uint8_t> segment(6 + 8 + pixels, 0);
  for (size_t i = 0; i < pixels && at + i < size; ++i) segment[14 + i] = data[at + i];
  t.savedSegment = segment.data();
  t.stripOffset = 8;
  DibWriter writer;
  if (makeThumbnailBitmap(&t, &writer)) {
    LocalFree(writer.infoHandle);
    LocalFree(writer.bitsHandle);
  }
  return 0;
}
