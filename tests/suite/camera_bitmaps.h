/*
 * camera_bitmaps.h - bitmaps for the container handler suites: the host's
 * two-block form built from a pixel function, taken back as a snapshot
 * read in picture order (row 0 the top row as displayed), and decodes
 * through decodeInternally taken over the way the host takes them.
 */
#ifndef MOVRELA_TEST_CAMERA_BITMAPS_H
#define MOVRELA_TEST_CAMERA_BITMAPS_H

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "attach.h"
#include "containers/detect.h"
#include "decoder/internal_decoder.h"
#include "exif/reader.h"
#include "harness.h"
#include "settings/settings.h"

namespace camera {

/* Red, green, blue of one pixel. */
struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
  bool operator!=(const Rgb &o) const { return !(*this == o); }
};

/* Distinct colours for the pixels of pictures up to 4096 x 4096. */
inline Rgb Numbered(int column, int row) {
  return {static_cast<uint8_t>(column), static_cast<uint8_t>(row),
          static_cast<uint8_t>((column >> 8) | (row >> 8) << 4)};
}

inline int32_t StrideOf(int32_t width, int bitCount) { return (width * bitCount + 31) / 32 * 4; }

/* A bottom-up bitmap in two movable, unlocked blocks: a 44-byte info block
 * (1068 with a grey palette for 8 bits) and the rows. Pixels come from
 * `pixel` (column, row from the top); an 8-bit bitmap takes their red.
 * `bitsBytes` overrides the size of the bits block. */
inline BitmapHandles MakeBitmap(int32_t width, int32_t height, int bitCount,
                                const std::function<Rgb(int, int)> &pixel, LONG xPels = 2835,
                                LONG yPels = 2835, SIZE_T bitsBytes = 0) {
  int32_t stride = StrideOf(width, bitCount);
  if (bitsBytes == 0) bitsBytes = static_cast<SIZE_T>(stride) * height;
  BitmapHandles b = {LocalAlloc(LHND, bitCount == 8 ? 1068 : 44), LocalAlloc(LHND, bitsBytes)};
  BITMAPINFOHEADER *h = static_cast<BITMAPINFOHEADER *>(LocalLock(b.info));
  uint8_t *bits = static_cast<uint8_t *>(LocalLock(b.bits));
  *h = BITMAPINFOHEADER{40, width, height, 1, static_cast<WORD>(bitCount), BI_RGB,
                        static_cast<DWORD>(stride * height), xPels, yPels, 0, 0};
  for (int32_t row = 0; row < height; ++row) {
    uint8_t *line = bits + static_cast<size_t>(height - 1 - row) * stride;
    if (static_cast<SIZE_T>(height - row) * stride > bitsBytes) continue;
    for (int32_t column = 0; column < width; ++column) {
      Rgb c = pixel(column, row);
      if (bitCount == 8) {
        line[column] = c.r;
      } else {
        line[column * 3] = c.b;
        line[column * 3 + 1] = c.g;
        line[column * 3 + 2] = c.r;
      }
    }
  }
  LocalUnlock(b.bits);
  LocalUnlock(b.info);
  return b;
}

struct Snapshot {
  BITMAPINFOHEADER header = {};
  std::vector<uint8_t> bits;
  size_t infoSize = 0;
  bool unlocked = true; /* both blocks unlocked, as the host must get them */

  int32_t Stride() const { return StrideOf(header.biWidth, header.biBitCount); }
  /* Pixel of a 24-bit bitmap, row 0 being the top row as displayed. */
  Rgb At(int column, int row) const {
    const uint8_t *p =
        bits.data() + static_cast<size_t>(header.biHeight - 1 - row) * Stride() + column * 3;
    return {p[2], p[1], p[0]};
  }
};

inline Snapshot Take(const BitmapHandles &b) {
  Snapshot s;
  s.unlocked = suite::Unlocked(b.info) && suite::Unlocked(b.bits);
  s.infoSize = LocalSize(b.info);
  std::memcpy(&s.header, LocalLock(b.info),
              s.infoSize < sizeof s.header ? s.infoSize : sizeof s.header);
  LocalUnlock(b.info);
  const uint8_t *bits = static_cast<const uint8_t *>(LocalLock(b.bits));
  s.bits.assign(bits, bits + LocalSize(b.bits));
  LocalUnlock(b.bits);
  return s;
}

inline void Free(BitmapHandles &b) {
  LocalFree(b.info);
  LocalFree(b.bits);
  b.info = b.bits = nullptr;
}

/* Runs `processor` on `bitmap` and returns what came out, its blocks
 * freed. */
inline Snapshot Processed(PostProcessor processor, const PluginSettings &settings,
                          const uint8_t *headerBlock, BitmapHandles bitmap,
                          uint32_t exifOrientation = 0) {
  processor(&settings, headerBlock, exifOrientation, nullptr, &bitmap);
  Snapshot s = Take(bitmap);
  Free(bitmap);
  return s;
}

/* The settings a fresh user has (defaults), with the module attached so
 * that the string table is reachable. */
inline PluginSettings DefaultSettings() {
  suite::AttachOnce();
  PluginSettings settings;
  LoadSettings(g_module.instance, &settings);
  return settings;
}

/* The text an information handler gave, its block left unlocked. */
inline std::string TextOf(HLOCAL text) {
  if (!text) return "(none)";
  std::string s(static_cast<const char *>(LocalLock(text)));
  LocalUnlock(text);
  return s;
}

struct Decoded {
  ResultCode result = NotImplemented;
  Snapshot bitmap;
};

/* decodeInternally on a file (`input` its name) or on memory (`input` the
 * bytes), blocks taken over and freed. */
inline Decoded Decode(const std::string &input, bool fileInput, const PluginSettings &settings) {
  Decoded out;
  BitmapHandles b = {nullptr, nullptr};
  DecodeRequest request = {};
  request.input = input.data();
  request.len = fileInput ? 0 : static_cast<int32_t>(input.size());
  request.fileInput = fileInput ? 1 : 0;
  request.infoHandleOut = &b.info;
  request.bitsHandleOut = &b.bits;
  request.settings = &settings;
  out.result = decodeInternally(&request, readExifOrientation);
  if (out.result != Success) return out;
  out.bitmap = Take(b);
  Free(b);
  return out;
}

}  // namespace camera

#endif /* MOVRELA_TEST_CAMERA_BITMAPS_H */
