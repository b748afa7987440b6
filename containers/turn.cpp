/*
 * turn.cpp - the eight orientations applied to a bottom-up 8- or 24-bit
 * bitmap: mirrors and the half turn in place, the sides-exchanging turns
 * by a tiled copy into a new bits block.
 */
#include "containers/turn.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/blocks.h"
#include "base/all_cores.h"

namespace {

/* A copying turn walks the target in tiles of kTurnBand rows by kTurnRun
 * columns, a band of target rows at a time, so that the target is written
 * front to front as its pages come in. Within a tile each source row is
 * read along kTurnBand pixels (192 bytes for 24 bits: whole cache lines)
 * and spread down the tile's target rows; a 24-bit tile's 12 KB of source
 * and 12 KB of target stay in the first-level cache. Measured on 6000 x
 * 4000 pictures: 32-pixel tiles cost a fifth more, larger bands no less. */
constexpr int32_t kTurnBand = 64;
constexpr int32_t kTurnRun = 64;

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

inline uint32_t load32(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline void store32(uint8_t *p, uint32_t v) { std::memcpy(p, &v, 4); }

/* Whether 24-bit pixels may be moved four at a time as 32-bit words, the
 * bytes of a pixel taken in memory order. */
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kWordPixels = true;
#else
constexpr bool kWordPixels = false;
#endif

/* One copying turn: target memory row M takes source memory column
 * firstColumn + columnStep * M, its column X source memory row
 * firstRow + rowStep * X; each byte through `map` when given, each finished
 * tile's colours through `colour` when given. */
struct TurnCopy {
  Rows source;
  uint8_t *target;
  ptrdiff_t targetStride;
  int32_t firstColumn, columnStep, firstRow, rowStep;
  const uint8_t *map;
  const ColourTransform *colour;
};

/* Target rows M to M+3 at `to` (`stride` apart), one column, from the four
 * adjacent 24-bit source pixels at `from` (taken right to left when
 * kReverse): one 12-byte read, and four 32-bit writes that each spill one
 * byte into the next column, which the caller writes afterwards. */
template <bool kReverse>
inline void copyQuad(uint8_t *to, ptrdiff_t stride, const uint8_t *from) {
  const uint32_t a = load32(from), b = load32(from + 4), c = load32(from + 8);
  const uint32_t p0 = a, p1 = a >> 24 | b << 8, p2 = b >> 16 | c << 16, p3 = c >> 8;
  store32(to, kReverse ? p3 : p0);
  store32(to + stride, kReverse ? p2 : p1);
  store32(to + 2 * stride, kReverse ? p1 : p2);
  store32(to + 3 * stride, kReverse ? p0 : p3);
}

/* Writes every target memory row M from source memory column
 * firstColumn + columnStep * M, its column X from source memory row
 * firstRow + rowStep * X (steps +1 or -1), each byte through `map` when
 * kMap. Columns are written in rising order within each target row. With
 * `colour`, each finished tile's colours are converted while it is in the
 * cache: no later tile writes into it (a quad's spill goes to the next
 * column, which belongs to the next tile). */
template <int kBytes, bool kMap>
void copyTurned(const TurnCopy &copy, int32_t firstBand, int32_t endBand) {
  const Rows &source = copy.source;
  uint8_t *const target = copy.target;
  const ptrdiff_t targetStride = copy.targetStride;
  const int32_t firstColumn = copy.firstColumn, columnStep = copy.columnStep;
  const int32_t firstRow = copy.firstRow, rowStep = copy.rowStep;
  const uint8_t *const map = copy.map;
  const ColourTransform *const colour = copy.colour;
  const int32_t targetRows = source.width, targetColumns = source.height;
  const bool quads = kBytes == 3 && !kMap && kWordPixels;
  const int32_t lastRow = endBand * kTurnBand < targetRows ? endBand * kTurnBand : targetRows;
  for (int32_t band = firstBand * kTurnBand; band < lastRow; band += kTurnBand) {
    const int32_t bandEnd = band + kTurnBand < targetRows ? band + kTurnBand : targetRows;
    for (int32_t run = 0; run < targetColumns; run += kTurnRun) {
      const int32_t runEnd = run + kTurnRun < targetColumns ? run + kTurnRun : targetColumns;
      for (int32_t X = run; X < runEnd; ++X) {
        const uint8_t *row = source.bits + (firstRow + rowStep * X) * source.stride;
        uint8_t *to = target + X * kBytes;
        int32_t M = band;
        /* The last column has no next one to spill into. */
        if (quads && X + 1 < targetColumns) {
          if (columnStep > 0)
            for (; M + 4 <= bandEnd; M += 4)
              copyQuad<false>(to + M * targetStride, targetStride, row + (firstColumn + M) * 3);
          else
            for (; M + 4 <= bandEnd; M += 4)
              copyQuad<true>(to + M * targetStride, targetStride, row + (firstColumn - M - 3) * 3);
        }
        for (; M < bandEnd; ++M) {
          uint8_t *pixel = to + M * targetStride;
          const uint8_t *from = row + (firstColumn + columnStep * M) * kBytes;
          for (int b = 0; b < kBytes; ++b) pixel[b] = kMap ? map[from[b]] : from[b];
        }
      }
      if (colour)
        convertRows(colour, target + band * targetStride + run * kBytes, targetStride,
                    runEnd - run, bandEnd - band);
    }
  }
}

/* Bands [first, end) of a copying turn. */
void copyTurnedPart(void *pass, int32_t first, int32_t end) {
  const TurnCopy &copy = *static_cast<const TurnCopy *>(pass);
  if (copy.source.pixelBytes == 3) {
    if (copy.map) copyTurned<3, true>(copy, first, end);
    else copyTurned<3, false>(copy, first, end);
  } else {
    if (copy.map) copyTurned<1, true>(copy, first, end);
    else copyTurned<1, false>(copy, first, end);
  }
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

namespace {

/* The bench's builds beside the product (tests/bench/plugin.cmake) time the
 * early block's own cost: MOVRELA_BENCH_EARLY_BLOCK 0 makes none, 1 makes
 * it and never takes it. */
#ifdef MOVRELA_BENCH_EARLY_BLOCK
constexpr bool kMakeEarlyBlock = MOVRELA_BENCH_EARLY_BLOCK != 0;
constexpr bool kTakeEarlyBlock = false;

/* They also time the decode itself, from the block's start (made or not)
 * to the turn, and leave it in the process's environment as
 * MOVRELA_BENCH_DECODE_MS: the block must not slow the decode it runs
 * beside. */
LARGE_INTEGER decodeStart;
void noteDecodeStart() { QueryPerformanceCounter(&decodeStart); }
void noteDecodeEnd() {
  LARGE_INTEGER end, frequency;
  QueryPerformanceCounter(&end);
  QueryPerformanceFrequency(&frequency);
  char text[32];
  std::snprintf(text, sizeof text, "%.3f",
                static_cast<double>(end.QuadPart - decodeStart.QuadPart) * 1000.0 /
                    static_cast<double>(frequency.QuadPart));
  SetEnvironmentVariableA("MOVRELA_BENCH_DECODE_MS", text);
}
#else
constexpr bool kMakeEarlyBlock = true;
constexpr bool kTakeEarlyBlock = true;
void noteDecodeStart() {}
void noteDecodeEnd() {}
#endif

/* One write a page faults the block in. */
constexpr int64_t kPageBytes = 4096;

DWORD WINAPI touchPages(LPVOID parameter) {
  TurnBlock *block = static_cast<TurnBlock *>(parameter);
  volatile uint8_t *bits = block->bits;
  for (int64_t at = 0; at < block->bytes && !__atomic_load_n(&block->stop, __ATOMIC_RELAXED);
       at += kPageBytes)
    bits[at] = 0;
  return 0;
}

/* Stops the touching where it is: a turn that finds the pages not yet all
 * touched (a busy machine) faults the rest in on all its threads rather
 * than wait for one; a block freed unused is not touched to its end. */
void joinTurnBlock(TurnBlock *block) {
  if (!block->thread) return;
  __atomic_store_n(&block->stop, 1, __ATOMIC_RELAXED);
  WaitForSingleObject(block->thread, INFINITE);
  CloseHandle(block->thread);
  block->thread = nullptr;
}

}  // namespace

bool startTurnBlock(TurnBlock *block, int32_t width, int32_t height, int32_t bitCount) {
  noteDecodeStart();
  std::memset(block, 0, sizeof *block);
  const int64_t bytes = blockBytes(rowStride(height, bitCount), width);
  if (!kMakeEarlyBlock || bytes < 0 || (bitCount != 8 && bitCount != 24)) return false;
  HLOCAL handle;
  uint8_t *bits = static_cast<uint8_t *>(allocateLocked(static_cast<SIZE_T>(bytes), LMEM_MOVEABLE, &handle));
  if (!bits) return false;
  /* The room the decode needs, with as much to spare, untouched. */
  HLOCAL room = 2 * bytes <= kLargestBlock ? LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(2 * bytes)) : nullptr;
  if (!room) {
    LocalUnlock(handle);
    LocalFree(handle);
    return false;
  }
  LocalFree(room);
  *block = {handle, bits, bytes, width, height, bitCount, nullptr, 0};
  block->thread = CreateThread(nullptr, 0, touchPages, block, 0, nullptr);
  return true;
}

void releaseTurnBlock(TurnBlock *block) {
  joinTurnBlock(block);
  if (!block->handle) return;
  LocalUnlock(block->handle);
  LocalFree(block->handle);
  block->handle = nullptr;
}

bool turnBits(uint32_t orientation, const TurnOptions &options, BitmapHandles *bitmap,
              BITMAPINFOHEADER *working, uint8_t **bits) {
  const ColourTransform *colour = options.colour;
  bool *converted = options.converted;
  TurnBlock *ready = options.ready;
  if (converted) *converted = false;
  Rows source;
  if (!rowsOf(*working, *bits, &source)) return false;
  if (!isTurn(orientation)) return true;
  if (!exchangesSides(orientation)) {
    mirrorBy(source, orientation != 4, orientation != 2);
    return true;
  }

  noteDecodeEnd();
  const int64_t targetStride = rowStride(source.height, working->biBitCount);
  const int64_t targetBytes = blockBytes(targetStride, source.width);
  if (targetBytes < 0) return false;
  HLOCAL handle = nullptr;
  uint8_t *target = nullptr;
  if (kTakeEarlyBlock && ready && ready->handle && ready->width == source.width && ready->height == source.height &&
      ready->bitCount == working->biBitCount && ready->bytes == targetBytes) {
    joinTurnBlock(ready);
    handle = ready->handle;
    target = ready->bits;
    ready->handle = nullptr;
  } else {
    target = static_cast<uint8_t *>(
        allocateLocked(static_cast<SIZE_T>(targetBytes), LMEM_MOVEABLE, &handle));
  }
  if (!target) return false;

  /* Target memory row M, column X takes source memory column x, row m
   * (row 0 lowest):
   *   5 (w-1-M, h-1-X)   6 (w-1-M, X)   7 (M, X)   8 (M, h-1-X). */
  const bool reverseRows = orientation == 5 || orientation == 8;    /* m = h-1-X */
  const bool reverseColumns = orientation == 5 || orientation == 6; /* x = w-1-M */
  const int32_t firstColumn = reverseColumns ? source.width - 1 : 0;
  const int32_t firstRow = reverseRows ? source.height - 1 : 0;
  const int32_t columnStep = reverseColumns ? -1 : 1, rowStep = reverseRows ? -1 : 1;
  const ptrdiff_t t = static_cast<ptrdiff_t>(targetStride);
  const ColourTransform *inCopy =
      source.pixelBytes == 3 && colour && colourInput(colour) == ColourRgb ? colour : nullptr;
  if (converted) *converted = inCopy != nullptr;
  TurnCopy copy = {source, target, t, firstColumn, columnStep, firstRow,
                   rowStep, options.channelMap, inCopy};
  /* Bands of target rows are independent: a large picture is turned on
   * every core, a plain copy too (6000 x 4000 under Wine, two threads
   * against one: into a fresh block 117 ms against 154, into the block
   * made ready 54 to 68 against 76 to 115). */
  const int32_t bands = (source.width + kTurnBand - 1) / kTurnBand;
  splitOverCores(copyTurnedPart, &copy, bands,
                 passThreadsFor(int64_t{source.width} * source.height));

  std::swap(working->biWidth, working->biHeight);
  std::swap(working->biXPelsPerMeter, working->biYPelsPerMeter);
  working->biSizeImage = 0;
  LocalUnlock(bitmap->bits);
  LocalFree(bitmap->bits);
  bitmap->bits = handle;
  *bits = target;
  return true;
}

namespace {

bool turnConverting(BitmapHandles *bitmap, uint32_t orientation, const ColourTransform *colour,
                    bool *converted, TurnBlock *ready) {
  *converted = false;
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
  bool turned = turnBits(orientation, {nullptr, colour, converted, ready}, bitmap, &working, &bits);
  if (turned) *header = working;
  LocalUnlock(bitmap->bits);
  LocalUnlock(bitmap->info);
  return turned;
}

}  // namespace

bool turnBitmap(BitmapHandles *bitmap, uint32_t orientation) {
  bool converted;
  return turnConverting(bitmap, orientation, nullptr, &converted, nullptr);
}

bool turnAndConvert(BitmapHandles *bitmap, uint32_t orientation, const ColourTransform *colour,
                    TurnBlock *ready) {
  /* Only a copying turn converts on the way; the rest is converted first. */
  if (colour && !exchangesSides(orientation)) convertBitmap(colour, bitmap);
  bool converted = false;
  bool turned = turnConverting(bitmap, orientation, exchangesSides(orientation) ? colour : nullptr,
                               &converted, ready);
  if (colour && exchangesSides(orientation) && !converted) convertBitmap(colour, bitmap);
  return turned;
}
