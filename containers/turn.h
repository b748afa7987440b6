/*
 * turn.h - turning a decoded bottom-up bitmap upright by an Exif
 * orientation (1 to 8): the mirrors and the half turn in place, the four
 * orientations that exchange the sides into a new bits block. Used for the
 * Exif orientation of plain JPEG pictures and their thumbnails, and for the
 * PMP container's quarter and half turns.
 *
 * The stored picture is w x h, read from its top-left as (x, y); the
 * upright one is W x H (for 5 to 8, W = h and H = w), and its (X, Y) takes
 * stored
 *   2 (w-1-X, Y)      3 (w-1-X, h-1-Y)   4 (X, h-1-Y)      5 (Y, X)
 *   6 (Y, h-1-X)      7 (w-1-Y, h-1-X)   8 (w-1-Y, X).
 */
#ifndef MOVRELA_TURN_H
#define MOVRELA_TURN_H

#include <cstdint>

#include "base/blocks.h"
#include "base/plugin_settings.h"
#include "colour/colour.h"

/* Orientations that mean a turn (every other value means none). */
constexpr uint32_t kOrientationUpright = 1;
constexpr uint32_t kOrientationHalfTurn = 3;
constexpr uint32_t kOrientationQuarterClockwise = 6;
constexpr uint32_t kOrientationQuarterCounterClockwise = 8;

inline bool isTurn(uint32_t orientation) { return orientation >= 2 && orientation <= 8; }
inline bool exchangesSides(uint32_t orientation) { return orientation >= 5 && orientation <= 8; }

/* The turn a plain JPEG gets: its Exif orientation while ExifSupport and
 * ExifRotation are on, else 1. */
inline uint32_t exifTurnFor(const PluginSettings *settings, uint32_t orientation) {
  return settings->ExifSupport && settings->ExifRotation && isTurn(orientation)
             ? orientation
             : kOrientationUpright;
}

/* The bits block of a sides-exchanging turn, made ready while the picture
 * decodes: a second thread faults its pages in, which a fresh block of a
 * large picture otherwise costs the turn (about 65 ms for 6000 x 4000 under
 * Wine). Plain record: no destructor, so that it may live in any frame. */
struct TurnBlock {
  HLOCAL handle; /* the block, locked at `bits`; null when none */
  uint8_t *bits;
  int64_t bytes;
  int32_t width, height, bitCount; /* the decoded bitmap it is made for */
  HANDLE thread;                   /* touching its pages; null once joined */
  int32_t stop;                    /* set (atomically) when the block is wanted now */
};

/* Makes `block` ready for the turn of a `width` x `height` bitmap of
 * `bitCount` bits (8 or 24) by an orientation that exchanges its sides,
 * only when a block as large as the decode's own and as much again could
 * be had beside it, so that no picture fails for it. False, with nothing
 * held, otherwise; the block also serves when no thread can be had. */
bool startTurnBlock(TurnBlock *block, int32_t width, int32_t height, int32_t bitCount);

/* Waits for the block's thread; frees the block unless a turn took it. */
void releaseTurnBlock(TurnBlock *block);

/* What a copying turn (5 to 8) does besides copying. `channelMap`, when
 * given, maps every byte of the rows, saving a pass. `colour`, when given,
 * converts a 24-bit picture's colours tile by tile, and *converted (when
 * given) tells whether it did. The copy goes into `ready`'s block when it
 * was made for this bitmap. The in-place turns ignore them all. */
struct TurnOptions {
  const uint8_t *channelMap;
  const ColourTransform *colour;
  bool *converted;
  TurnBlock *ready;
};

/* Turns the bitmap whose header is `working` and whose rows are locked at
 * *bits (8 or 24 bits a pixel, bottom-up, the block holding every row).
 * 2 to 4 work in place. 5 to 8 copy into a new bits block, which replaces
 * the old one in `bitmap` (freed) and stays locked at *bits; the working
 * header then has its sides and densities exchanged and biSizeImage 0.
 * False, with nothing changed, for another depth or when the new block
 * cannot be had; true for orientations that mean no turn. */
bool turnBits(uint32_t orientation, const TurnOptions &options, BitmapHandles *bitmap,
              BITMAPINFOHEADER *working, uint8_t **bits);

/* Locks the bitmap, turns it upright by `orientation` and unlocks it. A
 * bitmap of another depth or top-down, or whose blocks are smaller than its
 * header says, is left as it is, as it is when the turned block cannot be
 * had. True when it was turned. */
bool turnBitmap(BitmapHandles *bitmap, uint32_t orientation);

/* turnBitmap, then the colours converted by `colour` (colour/colour.h:
 * convertBitmap) when given: within the turn's copy when it makes one,
 * else in place; the copy goes into `ready`'s block when it fits. True
 * when it was turned. */
bool turnAndConvert(BitmapHandles *bitmap, uint32_t orientation, const ColourTransform *colour,
                    TurnBlock *ready = nullptr);

#endif /* MOVRELA_TURN_H */
