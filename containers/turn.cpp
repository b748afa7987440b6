/*
 * turn.cpp - the eight orientations applied to a bottom-up 8- or 24-bit
 * bitmap: mirrors and the half turn in place, the sides-exchanging turns
 * by a tiled copy into a new bits block.
 */
#include "containers/turn.h"

#include <cstddef>
#include <utility>

#include "base/blocks.h"

namespace {

/* Side of the square tiles a copying turn walks: the rows of one tile of
 * source and target stay in the cache together. */
constexpr int32_t kTurnTile = 64;

/* The rows of a bitmap as the turn sees them. */
struct Rows {
  uint8_t *bits;
  int32_t width;
  int32_t height;
  int32_t pixelBytes; /* 1 or 3 */
  ptrdiff_t stride;
};

/* Rows of an 8- or 24-bit bottom-up bitmap whose size fits a block; false
 * for anything else. */
bool rowsOf(const BITMAPINFOHEADER &header, uint8_t *bits, Rows *rows) {
  if (header.biBitCount != 8 && header.biBitCount != 24) return false;
  int64_t stride = rowStride(header.biWidth, header.biBitCount);
  if (blockBytes(stride, header.biHeight) < 0) return false;
  *rows = {bits, header.biWidth, header.biHeight, header.biBitCount / 8,
           static_cast<ptrdiff_t>(stride)};
  return true;
}

/* Copies every pixel of memory column x and memory row m of `source` to
 * target + origin + x * stepX + m * stepY, tile by tile, each byte passed
 * through `map` when kMap. */
template <int kBytes, bool kMap>
void copyTurned(const Rows &source, uint8_t *target, ptrdiff_t origin, ptrdiff_t stepX,
                ptrdiff_t stepY, const uint8_t *map) {
  for (int32_t tileY = 0; tileY < source.height; tileY += kTurnTile) {
    int32_t endY = tileY + kTurnTile < source.height ? tileY + kTurnTile : source.height;
    for (int32_t tileX = 0; tileX < source.width; tileX += kTurnTile) {
      int32_t endX = tileX + kTurnTile < source.width ? tileX + kTurnTile : source.width;
      for (int32_t m = tileY; m < endY; ++m) {
        const uint8_t *from = source.bits + m * source.stride + tileX * kBytes;
        uint8_t *to = target + origin + tileX * stepX + m * stepY;
        for (int32_t x = tileX; x < endX; ++x, from += kBytes, to += stepX)
          for (int b = 0; b < kBytes; ++b) to[b] = kMap ? map[from[b]] : from[b];
      }
    }
  }
}

template <int kBytes>
void copyTurnedBy(const Rows &source, uint8_t *target, ptrdiff_t origin, ptrdiff_t stepX,
                  ptrdiff_t stepY, const uint8_t *map) {
  if (map)
    copyTurned<kBytes, true>(source, target, origin, stepX, stepY, map);
  else
    copyTurned<kBytes, false>(source, target, origin, stepX, stepY, map);
}

/* Mirrors in place: left to right with `flipX`, top to bottom with `flipY`
 * (both: the half turn). Each pair of pixels is exchanged once. */
template <int kBytes>
void mirror(const Rows &rows, bool flipX, bool flipY) {
  const int32_t lastRow = flipY ? (rows.height - 1) / 2 : rows.height - 1;
  for (int32_t m = 0; m <= lastRow; ++m) {
    const int32_t partner = flipY ? rows.height - 1 - m : m;
    uint8_t *row = rows.bits + m * rows.stride;
    uint8_t *other = rows.bits + partner * rows.stride;
    /* A row exchanged with itself is only reversed, up to its middle. */
    const int32_t count = partner != m ? rows.width : (flipX ? rows.width / 2 : 0);
    for (int32_t x = 0; x < count; ++x) {
      uint8_t *a = row + x * kBytes;
      uint8_t *b = other + (flipX ? rows.width - 1 - x : x) * kBytes;
      for (int i = 0; i < kBytes; ++i) std::swap(a[i], b[i]);
    }
  }
}

void mirrorBy(const Rows &rows, bool flipX, bool flipY) {
  if (rows.pixelBytes == 3)
    mirror<3>(rows, flipX, flipY);
  else
    mirror<1>(rows, flipX, flipY);
}

}  // namespace

bool turnBits(uint32_t orientation, const uint8_t *channelMap, BitmapHandles *bitmap,
              BITMAPINFOHEADER *working, uint8_t **bits) {
  Rows source;
  if (!rowsOf(*working, *bits, &source)) return false;
  if (!isTurn(orientation)) return true;
  if (!exchangesSides(orientation)) {
    mirrorBy(source, orientation != 4, orientation != 2);
    return true;
  }

  const int64_t targetStride = rowStride(source.height, working->biBitCount);
  const int64_t targetBytes = blockBytes(targetStride, source.width);
  if (targetBytes < 0) return false;
  HLOCAL handle;
  uint8_t *target = static_cast<uint8_t *>(
      allocateLocked(static_cast<SIZE_T>(targetBytes), LMEM_MOVEABLE, &handle));
  if (!target) return false;

  /* Source memory column x, row m (row 0 lowest) lands in target memory
   * column X, row M:
   *   5 (h-1-m, w-1-x)   6 (m, w-1-x)   7 (m, x)   8 (h-1-m, x). */
  const ptrdiff_t t = static_cast<ptrdiff_t>(targetStride), p = source.pixelBytes;
  const ptrdiff_t lastColumn = (source.height - 1) * p, lastRow = (source.width - 1) * t;
  const bool reverseX = orientation == 5 || orientation == 8;  /* X = h-1-m */
  const bool reverseM = orientation == 5 || orientation == 6;  /* M = w-1-x */
  const ptrdiff_t origin = (reverseX ? lastColumn : 0) + (reverseM ? lastRow : 0);
  const ptrdiff_t stepX = reverseM ? -t : t, stepY = reverseX ? -p : p;
  if (p == 3)
    copyTurnedBy<3>(source, target, origin, stepX, stepY, channelMap);
  else
    copyTurnedBy<1>(source, target, origin, stepX, stepY, channelMap);

  std::swap(working->biWidth, working->biHeight);
  std::swap(working->biXPelsPerMeter, working->biYPelsPerMeter);
  working->biSizeImage = 0;
  LocalUnlock(bitmap->bits);
  LocalFree(bitmap->bits);
  bitmap->bits = handle;
  *bits = target;
  return true;
}

bool turnBitmap(BitmapHandles *bitmap, uint32_t orientation) {
  if (!isTurn(orientation) || !bitmap || !bitmap->info || !bitmap->bits) return false;
  BITMAPINFOHEADER *header =
      static_cast<BITMAPINFOHEADER *>(lockAtLeast(bitmap->info, sizeof(BITMAPINFOHEADER)));
  if (!header) return false;
  BITMAPINFOHEADER working = *header;
  Rows rows;
  uint8_t *bits = nullptr;
  if (rowsOf(working, nullptr, &rows))
    bits = static_cast<uint8_t *>(
        lockAtLeast(bitmap->bits, static_cast<SIZE_T>(rows.stride * rows.height)));
  if (!bits) {
    LocalUnlock(bitmap->info);
    return false;
  }
  bool turned = turnBits(orientation, nullptr, bitmap, &working, &bits);
  if (turned) *header = working;
  LocalUnlock(bitmap->bits);
  LocalUnlock(bitmap->info);
  return turned;
}
