/*
 * detect.cpp - container detection, the start-of-image search, the plain
 * JPEG handlers and the table of per-kind handlers.
 */
#include "containers/detect.h"

#include <cstring>

#include "base/blocks.h"
#include "containers/byte_order.h"
#include "containers/j6i.h"
#include "containers/pmp.h"

const ContainerHandler ContainerHandlers[3] = {
    {plainInfoHandler, plainPostProcessor},
    {j6iInfoHandler, j6iPostProcessor},
    {pmpInfoHandler, pmpPostProcessor},
};

namespace {

constexpr int32_t kJ6iDistanceOffset = 0x38;
constexpr int32_t kPmpDistanceOffset = 8;
constexpr uint32_t kPmpShortHeader = 124;   /* with signature 10 12 00 09 */
constexpr uint32_t kPmpHeader = 332;        /* with signature 10 12 01 00 */
constexpr uint32_t kPmpLongHeader = 844;    /* with signature 10 12 01 00 */
/* Where a J6I or PMP file's stream lies when its header failed the
 * container test: such files are not taken as plain JPEG. */
constexpr int32_t kJ6iStreamDistance = 44;
constexpr int32_t kPmpStreamDistance = 204;
constexpr int32_t kPmpLongStreamDistance = 716;
constexpr int32_t kLargestOffset = 0x7FFFFFFF;

/* SetFilePointer relative to the current position; false on failure. */
bool MoveFilePosition(HANDLE file, LONG distance) {
  SetLastError(NO_ERROR);
  DWORD result = SetFilePointer(file, distance, nullptr, FILE_CURRENT);
  return result != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

/* Fills the header block from the input and leaves the input where it was.
 * Returns the number of valid bytes, or -1 when the file cannot be read. */
int32_t FillHeaderBlock(uint8_t *block, void *source, int32_t extent, uint32_t fileInput) {
  std::memset(block, 0, kHeaderBlockSize);
  if (!fileInput) {
    if (extent <= 0 || source == nullptr) return 0;
    int32_t n = extent < kHeaderBlockSize ? extent : kHeaderBlockSize;
    std::memcpy(block, source, static_cast<size_t>(n));
    return n;
  }
  DWORD read = 0;
  if (!ReadFile(static_cast<HANDLE>(source), block, kHeaderBlockSize, &read, nullptr) ||
      read > static_cast<DWORD>(kHeaderBlockSize)) {
    std::memset(block, 0, kHeaderBlockSize);
    return -1;
  }
  if (read > 0 && !MoveFilePosition(static_cast<HANDLE>(source), -static_cast<LONG>(read)))
    return -1;
  return static_cast<int32_t>(read);
}

/* Moves the input forward by `distance` bytes, which the caller has checked
 * to lie inside it. False when the file position cannot be moved. */
bool Advance(void **source, int32_t *extent, uint32_t fileInput, int32_t distance) {
  if (distance == 0) return true;
  if (!fileInput) {
    *source = static_cast<uint8_t *>(*source) + distance;
    *extent -= distance;
    return true;
  }
  if (!MoveFilePosition(static_cast<HANDLE>(*source), distance)) return false;
  *extent += distance;
  return true;
}

/* Moves the input to a container's JPEG stream `distance` bytes ahead.
 * False, with nothing moved, when no byte of the input lies there or the
 * new file offset would not fit the host's 32-bit offset. */
bool AdvanceToStream(void **source, int32_t *extent, uint32_t fileInput, uint32_t distance) {
  if (!fileInput) {
    if (*extent <= 0 || distance >= static_cast<uint32_t>(*extent)) return false;
    return Advance(source, extent, fileInput, static_cast<int32_t>(distance));
  }
  if (distance > static_cast<uint32_t>(kLargestOffset) ||
      static_cast<int64_t>(*extent) + distance > kLargestOffset)
    return false;

  HANDLE file = static_cast<HANDLE>(*source);
  LONG positionHigh = 0;
  SetLastError(NO_ERROR);
  DWORD positionLow = SetFilePointer(file, 0, &positionHigh, FILE_CURRENT);
  if (positionLow == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
  DWORD sizeHigh = 0;
  SetLastError(NO_ERROR);
  DWORD sizeLow = GetFileSize(file, &sizeHigh);
  if (sizeLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;

  uint64_t position = static_cast<uint64_t>(static_cast<uint32_t>(positionHigh)) << 32 | positionLow;
  uint64_t size = static_cast<uint64_t>(sizeHigh) << 32 | sizeLow;
  if (position + distance >= size) return false;
  return Advance(source, extent, fileInput, static_cast<int32_t>(distance));
}

bool IsJ6iHeader(const uint8_t *block) {
  return block[0] == 0x80 && std::memcmp(block + 2, "DSCIM", 5) == 0;
}

/* The stream distance of a PMP header, or 0 when the block is not one. */
uint32_t PmpDistance(const uint8_t *block) {
  static const uint8_t kShortSignature[4] = {0x10, 0x12, 0x00, 0x09};
  static const uint8_t kSignature[4] = {0x10, 0x12, 0x01, 0x00};
  uint32_t distance = readBigEndian32(block + kPmpDistanceOffset);
  if (std::memcmp(block, kShortSignature, 4) == 0)
    return distance == kPmpShortHeader ? distance : 0;
  if (std::memcmp(block, kSignature, 4) == 0)
    return distance == kPmpHeader || distance == kPmpLongHeader ? distance : 0;
  return 0;
}

/* A Photoshop file ("8BPS", version, six zero reserved bytes): the JPEG
 * stream inside it is only its thumbnail. */
bool IsPhotoshopFile(const uint8_t *block) {
  static const uint8_t kReserved[6] = {0, 0, 0, 0, 0, 0};
  return std::memcmp(block, "8BPS", 4) == 0 && std::memcmp(block + 6, kReserved, 6) == 0;
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

namespace {

int32_t detect(const PluginSettings *settings, uint8_t headerBlock[kHeaderBlockSize],
               void **source, int32_t *extent, uint32_t fileInput) {
  int32_t valid = FillHeaderBlock(headerBlock, *source, *extent, fileInput);
  if (valid < 0) return ContainerUnsupported;

  if (settings->J6ISupport && IsJ6iHeader(headerBlock)) {
    uint32_t distance = readBigEndian32(headerBlock + kJ6iDistanceOffset);
    if (distance != 0)
      return AdvanceToStream(source, extent, fileInput, distance) ? ContainerJ6i
                                                                  : ContainerUnsupported;
  }
  if (settings->PMPSupport) {
    uint32_t distance = PmpDistance(headerBlock);
    if (distance != 0)
      return AdvanceToStream(source, extent, fileInput, distance) ? ContainerPmp
                                                                  : ContainerUnsupported;
  }
  /* Without the search the decoder gets the input unchanged. */
  if (!settings->SearchMarkerSupport) return ContainerPlainJpeg;

  int32_t start = findFirstSoi(headerBlock, valid);
  if (start < 0) return ContainerUnsupported;
  if (!Advance(source, extent, fileInput, start)) return ContainerUnsupported;
  if (settings->J6ISupport && start == kJ6iStreamDistance) return ContainerUnsupported;
  if (settings->PMPSupport && (start == kPmpStreamDistance || start == kPmpLongStreamDistance))
    return ContainerUnsupported;
  if (IsPhotoshopFile(headerBlock)) return ContainerUnsupported;
  return ContainerPlainJpeg;
}

}  // namespace

int32_t detectContainer(const PluginSettings *settings, uint8_t headerBlock[kHeaderBlockSize],
                        RequestInput *input) {
  void *source = input->fileInput ? static_cast<void *>(input->file)
                                  : const_cast<uint8_t *>(input->data);
  int32_t kind = detect(settings, headerBlock, &source, &input->extent, input->fileInput);
  if (!input->fileInput) input->data = static_cast<const uint8_t *>(source);
  return kind;
}

int plainInfoHandler(const PluginSettings *settings, const uint8_t *, PictureInfo *info) {
  if (settings->IgnorePixelAspectRatio) {
    info->xDensity = 1;
    info->yDensity = 1;
  }
  return 0;
}

int plainPostProcessor(const PluginSettings *settings, const uint8_t *, BitmapHandles *bitmap) {
  if (!settings->IgnorePixelAspectRatio || !bitmap || !bitmap->info) return 0;
  BITMAPINFOHEADER *header =
      static_cast<BITMAPINFOHEADER *>(lockAtLeast(bitmap->info, sizeof(BITMAPINFOHEADER)));
  if (!header) return 0;
  header->biXPelsPerMeter = 1;
  header->biYPelsPerMeter = 1;
  LocalUnlock(bitmap->info);
  return 0;
}
