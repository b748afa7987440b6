/*
 * e2e_inputs.h - pictures for the end-to-end suites: small JPEGs from
 * jpeg_maker.h, Exif JPEGs carrying a thumbnail of each kind, camera
 * containers around them, and inputs that are not JPEG at all.
 */
#ifndef MOVRELA_TEST_E2E_INPUTS_H
#define MOVRELA_TEST_E2E_INPUTS_H

#include <string>
#include <vector>

#include "camera_files.h"
#include "exif_builder.h"
#include "jpeg_maker.h"

namespace e2e {

using exifbuild::ExifBuilder;
using exifbuild::kIfd0;
using exifbuild::kIfd1;

/* The plain picture most cases use: 48 x 32 colour. */
constexpr int kPlainWidth = 48;
constexpr int kPlainHeight = 32;

inline camera::Data Jpeg(int width = kPlainWidth, int height = kPlainHeight) {
  maker::Picture p;
  p.width = width;
  p.height = height;
  return maker::Encode(p);
}

inline camera::Data Encoded(const maker::Picture &p) { return maker::Encode(p); }

/* The JPEG thumbnail of ExifJpeg(1): 24 x 16. */
inline const camera::Data &ThumbnailJpeg() {
  static camera::Data jpeg = Jpeg(24, 16);
  return jpeg;
}

/* An Exif APP1 segment with a Make in IFD0 and, in IFD1, a thumbnail of
 * `kind`: 1 JPEG (`thumbnail` bytes), 2 RGB 4 x 3, 3 YCbCr 4 x 2 (2 x 1
 * subsampling); 0 none. An `orientation` other than 0 goes into IFD0. */
inline camera::Data ExifSegment(int kind, const camera::Data &thumbnail = ThumbnailJpeg(),
                                const std::string &make = "Fakecam", uint16_t orientation = 0) {
  ExifBuilder b;
  b.ascii(kIfd0, 0x010F, make);
  if (orientation) b.shorts(kIfd0, 0x0112, {orientation});
  if (kind == 1) {
    b.shorts(kIfd1, 0x0103, {6})
        .pointer(kIfd1, 0x0201, b.blob(thumbnail))
        .longs(kIfd1, 0x0202, {static_cast<uint32_t>(thumbnail.size())});
  } else if (kind == 2) {
    int strip = b.blob(camera::Data(4 * 3 * 3, 0x80));
    b.shorts(kIfd1, 0x0100, {4}).shorts(kIfd1, 0x0101, {3}).shorts(kIfd1, 0x0102, {8, 8, 8})
        .shorts(kIfd1, 0x0103, {1}).shorts(kIfd1, 0x0106, {2}).pointer(kIfd1, 0x0111, strip)
        .shorts(kIfd1, 0x0115, {3}).shorts(kIfd1, 0x0116, {3}).longs(kIfd1, 0x0117, {36});
  } else if (kind == 3) {
    int strip = b.blob(camera::Data(16, 0x80));
    b.shorts(kIfd1, 0x0100, {4}).shorts(kIfd1, 0x0101, {2}).shorts(kIfd1, 0x0103, {1})
        .shorts(kIfd1, 0x0106, {6}).pointer(kIfd1, 0x0111, strip).shorts(kIfd1, 0x0115, {3})
        .shorts(kIfd1, 0x0213, {2}).shorts(kIfd1, 0x0212, {2, 1});
  }
  return exifbuild::app1(b.payload());
}

/* The plain picture with an Exif segment right after its SOI. */
inline camera::Data ExifJpeg(int kind, const camera::Data &thumbnail = ThumbnailJpeg(),
                             uint16_t orientation = 0) {
  camera::Data plain = Jpeg();
  camera::Data out(plain.begin(), plain.begin() + 2);
  camera::Data segment = ExifSegment(kind, thumbnail, "Fakecam", orientation);
  out.insert(out.end(), segment.begin(), segment.end());
  out.insert(out.end(), plain.begin() + 2, plain.end());
  return out;
}

/* A GIF header and bytes without any FF D8 pair. */
inline camera::Data Gif() {
  camera::Data out = {'G', 'I', 'F', '8', '9', 'a', 48, 0, 32, 0, 0x80, 0, 0};
  for (int i = 0; out.size() < 600; ++i) out.push_back(static_cast<uint8_t>(i * 7 % 251));
  return out;
}

/* A start-of-image marker followed by bytes that are no marker. */
inline camera::Data SoiThenGarbage() {
  camera::Data out = {0xFF, 0xD8};
  for (int i = 0; out.size() < 600; ++i) out.push_back(static_cast<uint8_t>(0x20 + i % 64));
  return out;
}

/* `n` bytes of something else, then `jpeg`. */
inline camera::Data Behind(size_t n, const camera::Data &jpeg, uint8_t filler = 0x11) {
  camera::Data out(n, filler);
  out.insert(out.end(), jpeg.begin(), jpeg.end());
  return out;
}

}  // namespace e2e

#endif /* MOVRELA_TEST_E2E_INPUTS_H */
