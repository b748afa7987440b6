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
 * Under them lies a parser of the copied segment (ExifSegment and the
 * functions below) that reads nothing outside the copy: an IFD, entry,
 * string, rational or maker note that lies partly outside is ignored (the
 * tag, or the rest of an IFD whose entries run out of the segment).
 */
#ifndef MOVRELA_EXIF_READER_H
#define MOVRELA_EXIF_READER_H

#include <cstdint>

#include "base/jpeg.h"
#include "exif/report.h"
#include "base/request_records.h"

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

/* The TIFF structure inside a copied APP1 payload. */
struct ExifSegment {
  const uint8_t *tiff; /* TIFF header: payload + 6; offsets count from here */
  uint32_t size;       /* bytes from tiff to the end of the payload */
  bool bigEndian;      /* "MM"; "II" is little-endian */
};

/* One 12-byte directory entry, decoded. */
struct IfdEntry {
  uint16_t tag;
  uint16_t type;     /* TIFF type code */
  uint32_t count;
  uint32_t value;    /* the data itself when it fits in 4 bytes, else its offset */
  uint32_t position; /* offset of the entry itself */
};

/* TIFF type codes used here. */
enum TiffType : uint16_t {
  kTiffByte = 1,
  kTiffAscii = 2,
  kTiffShort = 3,
  kTiffLong = 4,
  kTiffRational = 5,
  kTiffSignedByte = 6,
  kTiffUndefined = 7,
  kTiffSignedShort = 8,
  kTiffSignedRational = 10
};

/* Checks the "Exif" 0 0 identifier and the byte order of a payload of
 * `size` bytes and fills `segment`. False when the payload is not Exif. */
bool openExifSegment(const uint8_t *payload, uint32_t size, ExifSegment *segment);

/* Decodes the entry at `offset`. False when its 12 bytes lie outside. */
bool readIfdEntry(const ExifSegment *segment, uint32_t offset, IfdEntry *entry);

/* Collects the report values of IFD0 and the Exif IFD into `data` (which
 * the caller has cleared). Returns n, the number of tags taken. An Exif IFD
 * or maker note pointed to more than once is walked once, and its values
 * count once; the work is linear in the segment. `visited`, when given,
 * receives the number of entries read; `orientation`, when given, what
 * readOrientation gives, from the same walk. */
int collectReportValues(const ExifSegment *segment, ExifReportData *data,
                        uint32_t *visited = nullptr, uint32_t *orientation = nullptr);

/* White balance from a Nikon maker note entry: sets the maker-note flag and
 * value for each tag 7 found. Returns how many were found. `visited`, when
 * given, counts the entries read. */
int readNikonWhiteBalance(const ExifSegment *segment, const IfdEntry *makerNote,
                          ExifReportData *data, uint32_t *visited = nullptr);

/* IFD0's orientation (tag 0x0112): the last such entry decides, 1 to 8 as
 * it says when it is a SHORT with a count of 1 or 2, else 1. 0 when IFD0
 * has none (within the entries that lie inside the segment). */
uint32_t readOrientation(const ExifSegment *segment);

/* Describes the thumbnail of IFD1: sets every field of `thumbnail` but the
 * saved segment and returns its kind (0 none, 1 JPEG, 2 RGB, 3 YCbCr). A
 * thumbnail whose data does not lie wholly inside the segment, or that has
 * no pixels, is not usable: kind 0. The resolution fields receive the
 * rounded quotients of XResolution and YResolution when both can be read,
 * else 72 and 72. */
uint32_t describeThumbnail(const ExifSegment *segment, ExifThumbnail *thumbnail);

#endif /* MOVRELA_EXIF_READER_H */
