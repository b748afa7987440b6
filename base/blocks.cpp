/*
 * blocks.cpp - sizes, allocation and locking of the host's blocks.
 */
#include "base/blocks.h"

int64_t rowStride(int64_t width, int64_t bitCount) {
  if (width <= 0 || bitCount <= 0) return -1;
  return (width * bitCount + 31) / 32 * 4;
}

int64_t blockBytes(int64_t stride, int64_t rows) {
  if (stride <= 0 || rows <= 0 || stride > kLargestBlock / rows) return -1;
  return stride * rows;
}

void *allocateLocked(SIZE_T bytes, UINT flags, HLOCAL *handle) {
  *handle = LocalAlloc(flags | LMEM_ZEROINIT, bytes);
  void *data = *handle ? LocalLock(*handle) : nullptr;
  if (data) return data;
  if (*handle) LocalFree(*handle);
  *handle = nullptr;
  return nullptr;
}

void *lockAtLeast(HLOCAL handle, SIZE_T bytes) {
  if (handle == nullptr || LocalSize(handle) < bytes) return nullptr;
  return LocalLock(handle);
}

char *allocateText(size_t length, UINT flags, HLOCAL *handle) {
  return static_cast<char *>(allocateLocked(static_cast<SIZE_T>(length) + 2, flags, handle));
}
