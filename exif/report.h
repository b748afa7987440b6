/*
 * report.h - the camera report that GetPictureInfo hands the host as a
 * picture's text: the values collected from an Exif segment (ExifReportData),
 * the builder that formats them into a movable text block in the language
 * its caller gives, and the formatter of one line of rational values.
 *
 * The JPEG comment, the other text a plain JPEG can have, is read by
 * readComment (exif/reader.h).
 */
#ifndef MOVRELA_EXIF_REPORT_H
#define MOVRELA_EXIF_REPORT_H

#include <cstddef>
#include <cstdint>

#include "platform.h"
#include "exif/segment.h"

/* One or two rational values of a tag. */
struct RationalValue {
  uint32_t count; /* the entry's count; 0: the tag was not seen */
  double first;
  double second;  /* 0 unless count > 1 */
};

/* Bits of ExifReportData::presentFlags: which SHORT values were seen. */
enum ExifPresentFlag : uint32_t {
  kHasExposureProgram = 1,
  kHasIso = 2,
  kHasMeteringMode = 4,
  kHasLightSource = 8,
  kHasFlash = 16
};
/* Bit of ExifReportData::makerNoteFlags: a Nikon white balance was found. */
constexpr uint32_t kHasNikonWhiteBalance = 0x80;

/* The camera values behind the report. All fields start zero. */
struct ExifReportData {
  uint32_t presentFlags;       /* ExifPresentFlag bits */
  ExifText maker;              /* IFD0 0x010F Make */
  ExifText model;              /* IFD0 0x0110 Model */
  ExifText date;               /* 0x9003 DateTimeOriginal */
  RationalValue compressedBpp; /* 0x9102 CompressedBitsPerPixel */
  RationalValue shutter;       /* 0x9201 ShutterSpeedValue, in seconds */
  RationalValue exposureTime;  /* 0x829A ExposureTime */
  RationalValue fNumber;       /* 0x829D FNumber */
  uint32_t exposureProgram;    /* 0x8822 */
  uint32_t iso;                /* 0x8827 ISOSpeedRatings */
  RationalValue exposureBias;  /* 0x9204 ExposureBiasValue */
  uint32_t meteringMode;       /* 0x9207 */
  uint32_t lightSource;        /* 0x9208 */
  RationalValue focalLength;   /* 0x920A */
  uint32_t flash;              /* 0x9209 */
  uint32_t makerNoteFlags;     /* kHasNikonWhiteBalance */
  uint32_t nikonWhiteBalance;  /* Nikon maker-note tag 7 */
};

enum ReportLanguage { ReportEnglish = 0, ReportJapanese = 1 };

/* Size of the report text block for `data` and n tags taken: the three
 * strings' lengths + 40 per tag + 248, always room for every line. */
uint32_t exifReportSize(const ExifReportData *data, int n);

/* Builds the report in `language`, the host's as its caller read it, into
 * a new movable, zero-initialised block of exifReportSize + 2 bytes, left
 * unlocked. On success stores the block and the size (not the text length)
 * and returns true; without memory returns false and stores nothing. */
bool buildExifReport(ReportLanguage language, const ExifReportData *data, int n, HLOCAL *handle,
                     uint32_t *size);

/* Writes one rational line ("label: value[ - value] unit\r\n", label right-
 * aligned in 18 bytes) at `out`, which has room for `room` bytes including
 * the terminating zero. With `reciprocal` a value below 1 in magnitude is
 * shown as 1/x. Returns the number of characters written. */
int formatRationalLine(char *out, size_t room, const char *label, const char *unit,
                       const RationalValue *value, bool reciprocal);

/* Writes `value` as "%g" does; values without a finite quotient (a zero
 * denominator) as "inf", "-inf" or "undef", the same on every C runtime.
 * Returns the number of characters written. */
int formatNumber(char *out, size_t room, double value);

#endif /* MOVRELA_EXIF_REPORT_H */
