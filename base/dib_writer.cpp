/*
 * dib_writer.cpp - the DibWriter slots and its create, attach and unlock.
 */
#include "base/dib_writer.h"

#include "base/blocks.h"

#include <cstddef>
#include <cstring>

namespace {

/* Bytes per 24-bit row for `width` pixels, or -1 when width or height is
 * not positive or the rows would exceed the largest block. */
int64_t strideFor(int32_t width, int32_t height) {
  int64_t stride = rowStride(width, 24);
  return blockBytes(stride, height) < 0 ? -1 : stride;
}

inline uint8_t *pixelAt(const DibWriter *writer, int32_t x, int32_t y) {
  return writer->bits + static_cast<ptrdiff_t>(y) * writer->stride + static_cast<ptrdiff_t>(x) * 3;
}

inline void storePixel(uint8_t *pixel, uint32_t colour) {
  pixel[0] = static_cast<uint8_t>(colour >> 8);  /* blue */
  pixel[1] = static_cast<uint8_t>(colour >> 16); /* green */
  pixel[2] = static_cast<uint8_t>(colour >> 24); /* red */
}

uint32_t getPixelOf(const DibWriter *writer, int32_t x, int32_t y) {
  const uint8_t *pixel = pixelAt(writer, x, y);
  return static_cast<uint32_t>(pixel[2]) << 24 | static_cast<uint32_t>(pixel[1]) << 16 |
         static_cast<uint32_t>(pixel[0]) << 8;
}

void setPixelOf(DibWriter *writer, int32_t x, int32_t y, uint32_t colour) {
  storePixel(pixelAt(writer, x, y), colour);
}

void seekOf(DibWriter *writer, int32_t x, int32_t y) { writer->cursor = pixelAt(writer, x, y); }

void putNextOf(DibWriter *writer, uint32_t colour) {
  storePixel(writer->cursor, colour);
  writer->cursor += 3;
}

}  // namespace

ResultCode createDibWriter(DibWriter *writer, int32_t width, int32_t height) {
  std::memset(writer, 0, sizeof *writer);
  int64_t stride = strideFor(width, height);
  if (stride < 0) return OutOfMemory;

  HLOCAL infoHandle, bitsHandle;
  void *info = allocateLocked(kDibInfoBlockSize, LMEM_MOVEABLE, &infoHandle);
  if (!info) return OutOfMemory;
  void *bits = allocateLocked(static_cast<SIZE_T>(stride * height), LMEM_MOVEABLE, &bitsHandle);
  if (!bits) {
    LocalUnlock(infoHandle);
    LocalFree(infoHandle);
    return OutOfMemory;
  }

  BITMAPINFOHEADER *header = static_cast<BITMAPINFOHEADER *>(info);
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = width;
  header->biHeight = height; /* positive: bottom-up */
  header->biPlanes = 1;
  header->biBitCount = 24;
  header->biCompression = BI_RGB;
  header->biSizeImage = 0;
  header->biXPelsPerMeter = kDibDefaultResolution;
  header->biYPelsPerMeter = kDibDefaultResolution;

  writer->bitDepth = 24;
  writer->width = width;
  writer->height = height;
  writer->stride = static_cast<int32_t>(stride);
  writer->bitsHandle = bitsHandle;
  writer->bits = static_cast<uint8_t *>(bits);
  writer->infoHandle = infoHandle;
  writer->header = header;
  writer->getPixel = getPixelOf;
  writer->setPixel = setPixelOf;
  writer->seek = seekOf;
  writer->putNext = putNextOf;
  return Success;
}

bool attachDibWriter(DibWriter *writer, BITMAPINFOHEADER *header, uint8_t *bits) {
  if (header->biBitCount != 24) return false;
  int64_t stride = strideFor(header->biWidth, header->biHeight);
  if (stride < 0) return false;

  std::memset(writer, 0, sizeof *writer);
  writer->bitDepth = 24;
  writer->width = header->biWidth;
  writer->height = header->biHeight;
  writer->stride = static_cast<int32_t>(stride);
  writer->bits = bits;
  writer->header = header;
  writer->getPixel = getPixelOf;
  writer->setPixel = setPixelOf;
  return true;
}

int unlockDibWriter(DibWriter *writer) {
  /* An attached writer has no handles; an unlocked one no pointers left. */
  if (!writer || !writer->infoHandle || !writer->header) return 1;
  LocalUnlock(writer->infoHandle);
  LocalUnlock(writer->bitsHandle);
  writer->header = nullptr;
  writer->bits = nullptr;
  writer->cursor = nullptr;
  return 1;
}
