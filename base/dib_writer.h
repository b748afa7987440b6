/*
 * dib_writer.h - pixel access to a 24-bit bottom-up DIB in the host's
 * two-block form: an info block (BITMAPINFOHEADER and 4 zero bytes) and a
 * bits block of rows, both movable local memory.
 *
 * A created writer owns both blocks (locked until unlockDibWriter); an
 * attached writer wraps a bitmap the caller has locked and owns nothing.
 *
 * Pixel (x, y) is the 3 bytes at bits + y * stride + x * 3, stored blue,
 * green, red; row 0 is the bottom row of the picture. Colours cross the
 * slots as red << 24 | green << 16 | blue << 8 (the low byte is 0 when read
 * and ignored when written). The slots do no bounds checking: x lies in
 * 0 .. width - 1 and y in 0 .. height - 1, and putNext is called at most
 * width times after a seek to column 0.
 */
#ifndef MOVRELA_DIB_WRITER_H
#define MOVRELA_DIB_WRITER_H

#include <cstdint>

#include "platform.h"
#include "base/host_interface.h"

struct DibWriter;

typedef uint32_t (*DibGetPixel)(const DibWriter *writer, int32_t x, int32_t y);
typedef void (*DibSetPixel)(DibWriter *writer, int32_t x, int32_t y, uint32_t colour);
typedef void (*DibSeek)(DibWriter *writer, int32_t x, int32_t y);
typedef void (*DibPutNext)(DibWriter *writer, uint32_t colour);

struct DibWriter {
  int32_t bitDepth;         /* always 24 */
  int32_t width;            /* pixels per row */
  int32_t height;           /* rows */
  int32_t stride;           /* bytes per row: width * 3 rounded up to a multiple of 4 */
  HLOCAL bitsHandle;        /* null for an attached writer */
  uint8_t *bits;            /* first byte of the rows (locked) */
  HLOCAL infoHandle;        /* null for an attached writer */
  BITMAPINFOHEADER *header; /* start of the info block (locked) */
  uint8_t *cursor;          /* where putNext writes */
  DibGetPixel getPixel;
  DibSetPixel setPixel;
  DibSeek seek;             /* null for an attached writer */
  DibPutNext putNext;       /* null for an attached writer */
};

/* Bytes of the info block of a created writer: the header and 4 zero bytes. */
constexpr uint32_t kDibInfoBlockSize = sizeof(BITMAPINFOHEADER) + 4;

/* Resolution written into both pixels-per-metre fields of a new bitmap. */
constexpr int32_t kDibDefaultResolution = 72;

/* Sets up a new black width x height bitmap with both blocks allocated,
 * zeroed and locked, and all four slots set. OutOfMemory when a block cannot
 * be obtained, when width or height is not positive or when the bits block
 * would exceed what a 32-bit process can address; the writer is then
 * cleared and nothing stays allocated. */
ResultCode createDibWriter(DibWriter *writer, int32_t width, int32_t height);

/* Wraps a locked 24-bit bottom-up bitmap: getPixel and setPixel only, no
 * handles. False, with the writer untouched, when the bit count is not 24 or
 * the header's width or height is not positive or too large. */
bool attachDibWriter(DibWriter *writer, BITMAPINFOHEADER *header, uint8_t *bits);

/* Unlocks the info block, then the bits block, of a created writer and
 * clears the pointers into them; the handles stay for the hand-over. Does
 * nothing for an attached writer, a writer already unlocked or a null
 * reference. Always 1. */
int unlockDibWriter(DibWriter *writer);

#endif /* MOVRELA_DIB_WRITER_H */
