/*
 * colour_fuzzer.cpp - a JPEG stream's header read with the profile chunk
 * reader and the Exif reader installed, as a picture request does, then the
 * transform for one kind of decoded samples made from what they found
 * (lcms2 opening the assembled profile under the colour bound) and used on
 * a row and a palette; again for each kind.
 */
#include <cstdint>
#include <vector>

#include "exif_header_pass.h"
#include "fuzz_setup.h"
#include "work_bounds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  WorkScope work(data, size, 3); /* a header pass for each kind */
  PluginSettings settings = FuzzSettings();
  settings.ColorManagement = 1;
  std::vector<uint8_t> jpeg(data, data + size);
  uint8_t row[64 * 4], out[64 * 3], palette[256 * 4];
  for (size_t i = 0; i < sizeof row; ++i) row[i] = static_cast<uint8_t>(i * 37);
  for (size_t i = 0; i < sizeof palette; ++i) palette[i] = static_cast<uint8_t>(i / 4);
  /* One header pass per kind: a request's chunks serve its one transform. */
  for (ColourModel model : {ColourGrey, ColourRgb, ColourCmyk}) {
    RequestContext context;
    exifpass::readHeader(&context, jpeg, exifpass::kOrientation | exifpass::kProfile, &settings);
    ColourTransform *transform = acquirePictureColour(&context, model);
    if (transform) {
      const ColourModel reads = colourInput(transform);
      if (reads != model && reads != ColourRgb) __builtin_trap();
      convertPixels(transform, row, out, 64);
      convertPalette(transform, palette, 256);
      releaseColourTransform(transform);
    }
    exifpass::releaseContext(&context);
  }
  return 0;
}
