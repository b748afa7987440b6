/*
 * detect.cpp - detection of the kind, the start-of-image search and the
 * table of the kinds. The kinds' own rules live in their entries.
 */
#include "containers/detect.h"

#include <cstring>

#include "containers/j6i.h"
#include "containers/plain_jpeg.h"
#include "containers/pmp.h"

const ContainerHandler ContainerHandlers[kContainerKinds] = {
    kPlainJpegContainer, /* ContainerPlainJpeg */
    kJ6iContainer,       /* ContainerJ6i */
    kPmpContainer,       /* ContainerPmp */
};

namespace {

constexpr int32_t kLargestOffset = 0x7FFFFFFF;

/* SetFilePointer relative to the current position; false on failure. */
bool moveFilePosition(HANDLE file, LONG distance) {
  SetLastError(NO_ERROR);
  DWORD result = SetFilePointer(file, distance, nullptr, FILE_CURRENT);
  return result != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

/* Fills the header block from the input. A file then stands behind the
 * bytes read. Returns the number of valid bytes, or -1 when the file
 * cannot be read. */
int32_t fillHeaderBlock(uint8_t *block, const RequestInput *in) {
  std::memset(block, 0, kHeaderBlockSize);
  if (!in->fileInput) {
    if (in->extent <= 0 || in->data == nullptr) return 0;
    int32_t n = in->extent < kHeaderBlockSize ? in->extent : kHeaderBlockSize;
    std::memcpy(block, in->data, static_cast<size_t>(n));
    return n;
  }
  DWORD read = 0;
  if (!ReadFile(in->file, block, kHeaderBlockSize, &read, nullptr) ||
      read > static_cast<DWORD>(kHeaderBlockSize)) {
    std::memset(block, 0, kHeaderBlockSize);
    return -1;
  }
  return static_cast<int32_t>(read);
}

/* Moves the input to a stream `distance` bytes into the header block's
 * `valid` bytes. A file is not read again: the rest of the block becomes
 * its source's first bytes. */
void advanceInBlock(RequestInput *in, const uint8_t *block, int32_t valid, int32_t distance) {
  if (in->fileInput) {
    in->primed = block + distance;
    in->primedBytes = valid - distance;
  } else {
    in->data += distance;
  }
  in->extent += in->fileInput ? distance : -distance;
}

/* Moves the input to a container's JPEG stream `distance` bytes ahead of
 * where the header block was read. False, with nothing moved, when no byte
 * of the input lies there or the new file offset would not fit the host's
 * 32-bit offset. */
bool advanceToStream(RequestInput *in, int32_t valid, uint32_t distance) {
  if (!in->fileInput) {
    if (in->extent <= 0 || distance >= static_cast<uint32_t>(in->extent)) return false;
    advanceInBlock(in, nullptr, 0, static_cast<int32_t>(distance));
    return true;
  }
  /* Back to where the block was read from. */
  if (valid > 0 && !moveFilePosition(in->file, -valid)) return false;
  if (distance > static_cast<uint32_t>(kLargestOffset) ||
      static_cast<int64_t>(in->extent) + distance > kLargestOffset)
    return false;

  LONG positionHigh = 0;
  SetLastError(NO_ERROR);
  DWORD positionLow = SetFilePointer(in->file, 0, &positionHigh, FILE_CURRENT);
  if (positionLow == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
  DWORD sizeHigh = 0;
  SetLastError(NO_ERROR);
  DWORD sizeLow = GetFileSize(in->file, &sizeHigh);
  if (sizeLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;

  uint64_t position = static_cast<uint64_t>(static_cast<uint32_t>(positionHigh)) << 32 | positionLow;
  uint64_t size = static_cast<uint64_t>(sizeHigh) << 32 | sizeLow;
  if (position + distance >= size) return false;
  if (distance != 0 && !moveFilePosition(in->file, static_cast<LONG>(distance))) return false;
  in->extent += static_cast<int32_t>(distance);
  return true;
}

}  // namespace

int32_t findFirstSoi(const uint8_t *block, int32_t validBytes) {
  int32_t i = 0;
  while (i < validBytes - 1) {
    if (block[i] == 0xFF && block[i + 1] == 0xD8) return i;
    /* The second byte of another marker is never a start; a fill 0xFF is. */
    if (block[i] == 0xFF && block[i + 1] != 0xFF) i += 2;
    else i += 1;
  }
  return -1;
}

int32_t detectContainer(const PluginSettings *settings, uint8_t headerBlock[kHeaderBlockSize],
                        RequestInput *in) {
  in->primed = nullptr;
  in->primedBytes = 0;
  int32_t valid = fillHeaderBlock(headerBlock, in);
  if (valid < 0) return ContainerUnsupported;

  for (int32_t kind = 0; kind < kContainerKinds; ++kind) {
    const ContainerHandler &container = ContainerHandlers[kind];
    if (!container.locateStream || !containerEnabled(container, *settings)) continue;
    uint32_t distance = container.locateStream(headerBlock);
    if (distance != 0) return advanceToStream(in, valid, distance) ? kind : ContainerUnsupported;
  }
  /* Without the search the decoder gets the input unchanged. */
  if (!settings->SearchMarkerSupport) {
    advanceInBlock(in, headerBlock, valid, 0);
    return ContainerPlainJpeg;
  }

  int32_t start = findFirstSoi(headerBlock, valid);
  if (start < 0) {
    /* Not ours: a host's handle goes back to where it stood. */
    if (in->fileInput && valid > 0) moveFilePosition(in->file, -valid);
    return ContainerUnsupported;
  }
  advanceInBlock(in, headerBlock, valid, start);
  for (const ContainerHandler &container : ContainerHandlers)
    if (container.refusesStreamAt && containerEnabled(container, *settings) &&
        container.refusesStreamAt(headerBlock, start))
      return ContainerUnsupported;
  return ContainerPlainJpeg;
}
