/*
 * plain_jpeg.cpp - the plain JPEG entry: its refusal and its handlers.
 */
#include "containers/plain_jpeg.h"

#include <cstring>
#include <utility>

#include "base/blocks.h"
#include "containers/turn.h"

namespace {

/* A Photoshop file ("8BPS", version, six zero reserved bytes): the JPEG
 * stream inside it is only its thumbnail. */
bool refusesPhotoshopStream(const uint8_t *block, int32_t) {
  static const uint8_t kReserved[6] = {0, 0, 0, 0, 0, 0};
  return std::memcmp(block, "8BPS", 4) == 0 && std::memcmp(block + 6, kReserved, 6) == 0;
}

int plainInfoHandler(const PluginSettings *settings, const uint8_t *, uint32_t exifOrientation,
                     PictureInfo *info) {
  if (settings->IgnorePixelAspectRatio) {
    info->xDensity = 1;
    info->yDensity = 1;
  }
  if (exchangesSides(exifTurnFor(settings, exifOrientation))) {
    std::swap(info->width, info->height);
    uint16_t xDensity = info->xDensity;
    info->xDensity = info->yDensity;
    info->yDensity = xDensity;
  }
  return 0;
}

int plainPostProcessor(const PluginSettings *settings, const uint8_t *, uint32_t exifOrientation,
                       const ColourTransform *colour, BitmapHandles *bitmap) {
  turnAndConvert(bitmap, exifTurnFor(settings, exifOrientation), colour);
  if (!settings->IgnorePixelAspectRatio || !bitmap || !bitmap->info) return 0;
  BITMAPINFOHEADER *header =
      static_cast<BITMAPINFOHEADER *>(lockAtLeast(bitmap->info, sizeof(BITMAPINFOHEADER)));
  if (!header) return 0;
  header->biXPelsPerMeter = 1;
  header->biYPelsPerMeter = 1;
  LocalUnlock(bitmap->info);
  return 0;
}

}  // namespace

const ContainerHandler kPlainJpegContainer = {
    plainInfoHandler, plainPostProcessor, nullptr, refusesPhotoshopStream,
    nullptr,          "*.JPG;*.JPEG",     "JPEG/JFIF", true, true};
