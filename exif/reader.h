/*
 * reader.h - the Exif APP1 segment and the JPEG comment, read while libjpeg
 * parses a file's header, through marker processors installed on the
 * decompressor of a RequestContext:
 *
 *   readExifForReport   GetPictureInfo: camera values of IFD0, the Exif IFD
 *                       and a Nikon maker note, as the report in the text slot
 *   readExifForPreview  GetPreview: the thumbnail of IFD1, described in the
 *                       ExifThumbnail, with the segment copy kept for it
 *   readExifOrientation GetPicture: IFD0's orientation only
 *   readComment         GetPictureInfo: the first COM segment as the text
 *
 * All three Exif readers record IFD0's orientation in the context.
 *
 * Under them lie the parser of the copied segment (exif/segment.h) and its
 * readers: the report values walk (exif/report_walk.h), the Nikon maker
 * note (exif/maker_note.h) and the thumbnail description
 * (exif/thumbnail_description.h). This header brings them all.
 */
#ifndef MOVRELA_EXIF_READER_H
#define MOVRELA_EXIF_READER_H

#include "base/jpeg.h"
#include "base/request_records.h"
#include "exif/maker_note.h"
#include "exif/report.h"
#include "exif/report_walk.h"
#include "exif/segment.h"
#include "exif/thumbnail_description.h"

/* libjpeg marker processors (jpeg_set_marker_processor, APP1 for the two
 * Exif readers, COM for the comment); the decompressor must be the first
 * member of a RequestContext. They consume the whole segment and answer
 * TRUE. No memory for the Exif copy ends the request through the error
 * manager with EXIF_NO_MEMORY. */
boolean readExifForReport(j_decompress_ptr cinfo);
boolean readExifForPreview(j_decompress_ptr cinfo);
boolean readComment(j_decompress_ptr cinfo);
/* Records only the orientation, from a copy freed before it returns; when
 * no copy can be had, the segment is skipped and the picture not turned. */
boolean readExifOrientation(j_decompress_ptr cinfo);

#endif /* MOVRELA_EXIF_READER_H */
