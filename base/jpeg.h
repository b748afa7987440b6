/*
 * jpeg.h - includes libjpeg for our sources, after the platform header, and
 * checks that the library has the interface the plug-in is written for:
 * the release-6b API, whose decompression object is 432 bytes on the
 * 32-bit host.
 */
#ifndef MOVRELA_JPEG_H
#define MOVRELA_JPEG_H

#include <cstddef>
#include <cstdio>

#include "platform.h"

extern "C" {
#include <jpeglib.h>
}

static_assert(JPEG_LIB_VERSION == 62, "libjpeg must offer the release-6b interface");
static_assert(sizeof(void *) != 4 || sizeof(jpeg_decompress_struct) == 432,
              "the decompression object must be 432 bytes on the 32-bit host");

#endif /* MOVRELA_JPEG_H */
