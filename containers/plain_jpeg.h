/*
 * plain_jpeg.h - plain JPEG (entry 0 of ContainerHandlers): a JPEG stream
 * at the input's start or, with SearchMarkerSupport, behind foreign data.
 * Always on, and found by the start-marker search; a stream found behind a
 * Photoshop header is refused, since it is only that file's thumbnail.
 *
 * The information handler reports square pixels (densities 1 and 1) with
 * IgnorePixelAspectRatio on and, for an Exif orientation 5 to 8 in force
 * (exifTurnFor), the upright sides and densities, exchanged. The
 * post-processor turns an 8- or 24-bit bitmap upright by that orientation
 * (turnBitmap: unturned when the turned block cannot be had), converts its
 * colours by the picture's transform (in the turn's copy when it makes
 * one) and, with IgnorePixelAspectRatio on, sets both pixels-per-metre
 * fields of the bitmap header to 1. Both return 0.
 */
#ifndef MOVRELA_PLAIN_JPEG_H
#define MOVRELA_PLAIN_JPEG_H

#include "containers/container.h"

/* The entry: the stream's own Exif, comment and profile count, and
 * IgnorePixelAspectRatio squares its pixels. */
extern const ContainerHandler kPlainJpegContainer;

#endif /* MOVRELA_PLAIN_JPEG_H */
