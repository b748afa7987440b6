/*
 * thumbnail_description.h - the thumbnail of an Exif segment's IFD1, as
 * the preview reader describes it in the request's ExifThumbnail: its
 * kind, size, data and the values its conversion needs.
 */
#ifndef MOVRELA_EXIF_THUMBNAIL_DESCRIPTION_H
#define MOVRELA_EXIF_THUMBNAIL_DESCRIPTION_H

#include "base/request_records.h"
#include "exif/segment.h"

/* Describes the thumbnail of IFD1: sets every field of `thumbnail` but the
 * saved segment and returns its kind (0 none, 1 JPEG, 2 RGB, 3 YCbCr). A
 * thumbnail whose data does not lie wholly inside the segment, or that has
 * no pixels, is not usable: kind 0. The resolution fields receive the
 * rounded quotients of XResolution and YResolution when both can be read,
 * else 72 and 72. */
uint32_t describeThumbnail(const ExifSegment *segment, ExifThumbnail *thumbnail);

#endif /* MOVRELA_EXIF_THUMBNAIL_DESCRIPTION_H */
