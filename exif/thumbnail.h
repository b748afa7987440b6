/*
 * thumbnail.h - turns an uncompressed Exif thumbnail (kind 2 RGB, kind 3
 * YCbCr, as described by readExifForPreview) into the host's 24-bit
 * bottom-up bitmap. A JPEG thumbnail (kind 1) is decoded by a nested picture
 * request instead.
 *
 * The descriptor's pixel data lies wholly inside its saved segment: the
 * preview reader gives kind 0 to any thumbnail whose data does not.
 */
#ifndef MOVRELA_EXIF_THUMBNAIL_H
#define MOVRELA_EXIF_THUMBNAIL_H

#include "base/dib_writer.h"
#include "base/request_records.h"

/* Writes every pixel of a kind-2 thumbnail (rows of R, G, B bytes, top row
 * first) into a created writer of its width and height. */
void convertRgbThumbnail(const ExifThumbnail *thumbnail, DibWriter *writer);

/* Writes every pixel of a kind-3 thumbnail (data units of H x V luma bytes,
 * then Cb and Cr) into a created writer of its width and height, converting
 * with its luma coefficients and black levels. Pixels of blocks that reach
 * past the picture are not written. Writes nothing when H or V is 0. */
void convertYCbCrThumbnail(const ExifThumbnail *thumbnail, DibWriter *writer);

/* Stores the thumbnail's resolution in the bitmap header's pixels-per-metre
 * fields. */
void setThumbnailResolution(const ExifThumbnail *thumbnail, DibWriter *writer);

/* The whole bitmap of a kind-2 or kind-3 thumbnail: creates the writer,
 * converts, sets the resolution and unlocks both blocks, which the caller
 * then hands to the host (writer->infoHandle, writer->bitsHandle). False,
 * with nothing allocated, for another kind or when there is no memory: the
 * request then falls back to the external decoder. */
bool makeThumbnailBitmap(const ExifThumbnail *thumbnail, DibWriter *writer);

#endif /* MOVRELA_EXIF_THUMBNAIL_H */
