/*
 * j6i.cpp - the J6I container: its recognition; size, densities and date
 * text for GetPictureInfo; aspect correction and edge crop of the bitmap.
 */
#include "containers/j6i.h"

#include <cstring>

#include "base/blocks.h"
#include "base/dib_writer.h"
#include "base/byte_order.h"

namespace {

constexpr int32_t kDistanceOffset = 0x38; /* 32 bits, big-endian */
constexpr int32_t kStreamDistance = 44;   /* where the stream of every J6I file lies */

/* Resolutions at or above this are pixels per metre and get the ratio as a
 * factor on the horizontal value; smaller ones are bare aspect numbers and
 * are multiplied out on both axes. */
constexpr LONG kSmallestMetricResolution = 10;

struct Edges {
  int64_t left, right, top, bottom; /* never negative */
};

Edges edgesOf(const PluginSettings *settings) {
  auto positive = [](int32_t v) { return static_cast<int64_t>(v > 0 ? v : 0); };
  return {positive(settings->Left), positive(settings->Right), positive(settings->Top),
          positive(settings->Bottom)};
}

LONG saturated(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<LONG>(v);
}

/* Bytes of rows the header describes, whatever its depth; -1 when its
 * geometry cannot describe a bitmap a 32-bit process holds. */
int64_t rowBytesOf(const BITMAPINFOHEADER *header) {
  int64_t width = header->biWidth;
  int64_t rows = header->biHeight < 0 ? -static_cast<int64_t>(header->biHeight) : header->biHeight;
  int64_t bitCount = header->biBitCount;
  if (bitCount > 32) return -1;
  return blockBytes(rowStride(width, bitCount), rows);
}

void correctAspect(const PluginSettings *settings, BITMAPINFOHEADER *header) {
  int32_t aspectX = settings->AspectX, aspectY = settings->AspectY;
  if (aspectX == aspectY || aspectY <= 0) return;
  if (header->biXPelsPerMeter >= kSmallestMetricResolution) {
    header->biXPelsPerMeter =
        saturated(static_cast<int64_t>(header->biXPelsPerMeter) * aspectX / aspectY);
  } else {
    header->biXPelsPerMeter = saturated(static_cast<int64_t>(header->biXPelsPerMeter) * aspectX);
    header->biYPelsPerMeter = saturated(static_cast<int64_t>(header->biYPelsPerMeter) * aspectY);
  }
}

/* Keeps columns Left .. width - Right - 1 and rows Top .. height - Bottom - 1
 * (memory order) of a 24-bit bitmap, packed at the start of its block with
 * the stride of the new width. Each kept row moves to a lower or equal
 * address, so going up from row 0 never overwrites a row still to be read. */
void crop(const Edges &edges, BITMAPINFOHEADER *header, uint8_t *bits) {
  int64_t width = header->biWidth - edges.left - edges.right;
  int64_t height = header->biHeight - edges.top - edges.bottom;
  if (edges.left + edges.right + edges.top + edges.bottom == 0 || width <= 0 || height <= 0)
    return;
  DibWriter source, target;
  if (!attachDibWriter(&source, header, bits)) return;
  BITMAPINFOHEADER cropped = *header;
  cropped.biWidth = static_cast<LONG>(width);
  cropped.biHeight = static_cast<LONG>(height);
  if (!attachDibWriter(&target, &cropped, bits)) return;

  const size_t rowBytes = static_cast<size_t>(width) * 3;
  const uint8_t *from = source.bits + edges.top * source.stride + edges.left * 3;
  uint8_t *to = target.bits;
  for (int64_t row = 0; row < height; ++row, from += source.stride, to += target.stride)
    std::memmove(to, from, rowBytes);

  header->biWidth = cropped.biWidth;
  header->biHeight = cropped.biHeight;
  header->biSizeImage = 0;
}

/* Reduces width and height by the edges when the result stays positive,
 * sets the densities to AspectX and AspectY (low 16 bits), and, when
 * textHandle is null, sets it to a fixed block with the date text (left
 * null when no memory). */
int j6iInfoHandler(const PluginSettings *settings, const uint8_t *headerBlock, uint32_t,
                   PictureInfo *info) {
  Edges edges = edgesOf(settings);
  if (info->width > edges.left + edges.right)
    info->width = static_cast<int32_t>(info->width - edges.left - edges.right);
  if (info->height > edges.top + edges.bottom)
    info->height = static_cast<int32_t>(info->height - edges.top - edges.bottom);
  info->xDensity = static_cast<uint16_t>(settings->AspectX);
  info->yDensity = static_cast<uint16_t>(settings->AspectY);

  if (info->textHandle) return 0;
  HLOCAL handle;
  char *text = allocateText(kJ6iDateTextSize - 2, LMEM_FIXED, &handle);
  if (!text) return 0;
  /* YY/MM/DD hh:mm:ss, one BCD byte per field; nibbles are not checked. */
  static const char kSeparators[] = "// ::";
  const uint8_t *date = headerBlock + kJ6iDateOffset;
  char *out = text;
  for (int field = 0; field < 6; ++field) {
    *out++ = static_cast<char>('0' + (date[field] >> 4));
    *out++ = static_cast<char>('0' + (date[field] & 0x0F));
    if (field < 5) *out++ = kSeparators[field];
  }
  *out = '\0';
  LocalUnlock(handle);
  info->textHandle = handle;
  return 0;
}

/* Aspect correction of the resolution fields, then, for a 24-bit bottom-up
 * bitmap, the edge crop in the same bits block (biSizeImage becomes 0). */
int j6iPostProcessor(const PluginSettings *settings, const uint8_t *, uint32_t,
                     const ColourTransform *, BitmapHandles *bitmap) {
  if (!bitmap || !bitmap->info || !bitmap->bits) return 0;
  BITMAPINFOHEADER *header =
      static_cast<BITMAPINFOHEADER *>(lockAtLeast(bitmap->info, sizeof(BITMAPINFOHEADER)));
  if (!header) return 0;
  int64_t rowBytes = rowBytesOf(header);
  uint8_t *bits = rowBytes >= 0
                      ? static_cast<uint8_t *>(lockAtLeast(bitmap->bits, static_cast<SIZE_T>(rowBytes)))
                      : nullptr;
  if (!bits) {
    LocalUnlock(bitmap->info);
    return 0;
  }

  correctAspect(settings, header);
  crop(edgesOf(settings), header, bits);

  LocalUnlock(bitmap->bits);
  LocalUnlock(bitmap->info);
  return 1;
}

/* The stream distance that a J6I header in the block gives, or 0. */
uint32_t j6iStreamDistance(const uint8_t *block) {
  if (block[0] != 0x80 || std::memcmp(block + 2, "DSCIM", 5) != 0) return 0;
  return readBigEndian32(block + kDistanceOffset);
}

/* A stream the start-marker search finds where a J6I file's lies (44)
 * is behind a J6I header that recognition did not accept. */
bool j6iRefusesStreamAt(const uint8_t *, int32_t start) { return start == kStreamDistance; }

}  // namespace

const ContainerHandler kJ6iContainer = {
    j6iInfoHandler, j6iPostProcessor, j6iStreamDistance, j6iRefusesStreamAt,
    &PluginSettings::J6ISupport, "*.J6I", "RICOH DC-1,2(J6I)", false, false};
