/*
 * container.h - what every kind of input provides (plain JPEG and each
 * camera container): its entry in the table of kinds, with the handlers
 * that adjust picture information and decoded bitmaps, and the header
 * block they read. A container is one file (containers/NAME.cpp) whose
 * header declares its entry and whatever the tests read of it.
 */
#ifndef MOVRELA_CONTAINER_H
#define MOVRELA_CONTAINER_H

#include <cstdint>

#include "base/blocks.h"
#include "base/host_interface.h"
#include "base/plugin_settings.h"
#include "colour/colour.h"

/* The header block: the first bytes of the input as the caller gave it. */
constexpr int32_t kHeaderBlockSize = 2048;

/* The handlers receive, besides the settings, what the request's header
 * pass learnt: the header block and the Exif orientation of IFD0 (1 to 8
 * as read, 0 when none was read; only plain JPEG input has one).
 *
 * Called by GetPictureInfo after the header pass; may change width, height,
 * the densities, and set textHandle when it is still null. Result ignored. */
typedef int (*InfoHandler)(const PluginSettings *settings, const uint8_t *headerBlock,
                           uint32_t exifOrientation, PictureInfo *info);
/* Called after a bitmap was produced for this input, before the host gets
 * it; may rework the bits, edit the header or replace the bits block
 * (freeing the old one). `colour`, when given, is the conversion of the
 * picture's colours still to be made (plain JPEG only). Result ignored. */
typedef int (*PostProcessor)(const PluginSettings *settings, const uint8_t *headerBlock,
                             uint32_t exifOrientation, const ColourTransform *colour,
                             BitmapHandles *bitmap);

/* Recognition: the distance from the header block's first byte to the
 * container's JPEG stream when the block starts with the container's
 * header, else 0. */
typedef uint32_t (*StreamLocator)(const uint8_t *headerBlock);
/* Refusal: true when a start-of-image marker that the search found `start`
 * bytes into the header block is where this container's stream lies
 * behind a header that recognition did not accept, or (plain JPEG) lies in
 * a file whose stream is no picture of its own; such a file is not taken
 * as a plain JPEG stream. */
typedef bool (*StreamRefusal)(const uint8_t *headerBlock, int32_t start);

struct ContainerHandler {
  InfoHandler infoHandler;
  PostProcessor postProcessor;
  StreamLocator locateStream;           /* null: found by the start-marker search */
  StreamRefusal refusesStreamAt;        /* null: refuses nothing */
  int32_t PluginSettings::*enabledBy;   /* the setting that switches it on; null: always */
  const char *patterns;                 /* GetPluginInfo's file patterns, ";" between */
  const char *name;                     /* GetPluginInfo's display name */
  bool readsStreamMetadata;             /* the stream's own Exif, comment and colour profile
                                           count (a container brings its own text) */
  bool squaresPixels;                   /* IgnorePixelAspectRatio reports and decodes square
                                           pixels (a container corrects its own aspect) */
};

#endif /* MOVRELA_CONTAINER_H */
