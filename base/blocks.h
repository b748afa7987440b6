/*
 * blocks.h - the host's local-memory blocks: how large a bitmap block may
 * be, how wide its rows are, and making or opening a block with the checks
 * that go with it. Every bitmap and text block the plug-in hands the host,
 * or takes back from the external decoder, is made or opened here.
 */
#ifndef MOVRELA_BLOCKS_H
#define MOVRELA_BLOCKS_H

#include <cstddef>
#include <cstdint>

#include "platform.h"

/* The largest block we ask for or accept: pixel offsets must stay within a
 * signed 32-bit value on the 32-bit host. */
constexpr int64_t kLargestBlock = 0x7FFFFFFF;

/* Bytes per row of `width` pixels of `bitCount` bits, padded to 4 bytes;
 * -1 when width or bit count is not positive. Computed in 64 bits. */
int64_t rowStride(int64_t width, int64_t bitCount);

/* stride x rows, or -1 when either is not positive or the product exceeds
 * kLargestBlock. */
int64_t blockBytes(int64_t stride, int64_t rows);

/* A new zeroed block of `bytes` (LMEM_MOVEABLE or LMEM_FIXED in `flags`),
 * locked: returns its data and stores its handle; without memory returns
 * null, leaves nothing behind and stores a null handle. */
void *allocateLocked(SIZE_T bytes, UINT flags, HLOCAL *handle);

/* Locks `handle` when the block holds at least `bytes`: its data, or null
 * with nothing locked. */
void *lockAtLeast(HLOCAL handle, SIZE_T bytes);

/* The two movable blocks of a finished bitmap: the info block (header, then
 * 4 bytes or a 256-entry palette) and the rows. */
struct BitmapHandles {
  HLOCAL info;
  HLOCAL bits;
};

/* A text block for the host: room for `length` bytes and two zero bytes
 * after them that end the text, locked (see allocateLocked). */
char *allocateText(size_t length, UINT flags, HLOCAL *handle);

#endif /* MOVRELA_BLOCKS_H */
