/*
 * records.h - the records and codes at the host boundary (PictureInfo,
 * ProgressCallback, ResultCode) and the two records that carry one request
 * through the plug-in (DecodeRequest, RequestContext with its ExifThumbnail).
 *
 * Handle and pointer fields have the host's widths on the 32-bit Windows
 * build, where PictureInfo is the host's packed 26-byte record; natively
 * they are pointer-sized.
 */
#ifndef MOVRELA_RECORDS_H
#define MOVRELA_RECORDS_H

#include <cstdint>

#include "decoder/jpeg.h"
#include "platform.h"
#include "settings/settings.h"

/* Exported with the standard calling convention under undecorated names. */
#define PLUGIN_EXPORT extern "C" __declspec(dllexport)

enum ResultCode : int32_t {
  NotImplemented = -1,
  Success = 0,
  Aborted = 1,          /* the host's progress callback asked to stop */
  UnknownFormat = 2,    /* not a supported input, or no external decoder */
  BrokenData = 3,       /* any decoder failure not listed here */
  OutOfMemory = 4,      /* the decoder library ran out of memory */
  FileReadError = 6,    /* the file cannot be opened */
  ExternalDeclined = 10 /* the external decoder did not decode the picture */
};

#pragma pack(push, 1)
struct PictureInfo {
  int32_t left;       /* always 0 */
  int32_t top;        /* always 0 */
  int32_t width;      /* pixels */
  int32_t height;     /* pixels */
  uint16_t xDensity;  /* horizontal pixel density */
  uint16_t yDensity;  /* vertical pixel density */
  int16_t bitDepth;   /* 24 colour, 8 grey or colour-mapped */
  HLOCAL textHandle;  /* movable block with the text, or null */
};
#pragma pack(pop)

static_assert(sizeof(void *) != 4 || sizeof(PictureInfo) == 26,
              "PictureInfo is the host's packed 26-byte record");

/* Host progress callback: (numerator 0..100, denominator 100, callbackData);
 * a non-zero answer asks to stop. */
typedef int32_t(WINAPI *ProgressCallback)(int32_t numerator, int32_t denominator,
                                          int32_t callbackData);

/* The low three bits of `flag` give the input kind: 1 memory, anything else
 * a file. Returns 1 for file input, 0 for memory input. */
inline uint32_t FileInputFromFlag(uint32_t flag) { return (flag & 7u) == 1u ? 0u : 1u; }

/* One GetPicture or GetPreview request, as it travels through the
 * dispatcher and the internal decoder. */
struct DecodeRequest {
  const char *input;                /* file name, or the image in memory */
  int32_t len;                      /* file offset, or image size in bytes */
  uint32_t fileInput;               /* 1 file, 0 memory */
  HLOCAL *infoHandleOut;            /* receives the bitmap-information block */
  HLOCAL *bitsHandleOut;            /* receives the pixel block */
  ProgressCallback progressCallback; /* may be null */
  int32_t callbackData;             /* handed back to the callback */
  uint32_t preview;                 /* 1 GetPreview, 0 GetPicture */
  const PluginSettings *settings;   /* the caller's freshly loaded settings */
};

/* Where an Exif thumbnail lies and how to convert it. Offsets count from the
 * TIFF header, 6 bytes into the saved segment. */
struct ExifThumbnail {
  uint8_t *savedSegment;  /* copy of the APP1 payload, or null */
  uint32_t kind;          /* 0 none, 1 JPEG, 2 RGB, 3 YCbCr */
  uint32_t jpegOffset;
  uint32_t jpegLength;
  uint32_t width;
  uint32_t height;
  uint32_t photometric;   /* 2 RGB, 6 YCbCr */
  uint32_t xResolution;
  uint32_t yResolution;
  double lumaCoefficients[3];
  double referenceBlackWhite[6];
  uint32_t stripOffset;
  uint32_t subsamplingH;
  uint32_t subsamplingV;
  uint32_t stripByteCount;
};

/* One request's working record. The decompression object comes first, so
 * that marker processors, which receive only that object, reach the rest. */
struct RequestContext {
  jpeg_decompress_struct cinfo; /* must stay the first member */
  uint32_t textLength;          /* bytes of text in textHandle */
  HLOCAL textHandle;            /* comment or Exif report (GetPictureInfo) */
  PluginSettings settings;      /* snapshot taken at the start of the request */
  ExifThumbnail thumbnail;      /* filled by the Exif preview reader */
  uint8_t *exifCopy;            /* an Exif segment copy being read, or null */
};

inline RequestContext *ContextOf(j_decompress_ptr cinfo) {
  return reinterpret_cast<RequestContext *>(cinfo);
}

#endif /* MOVRELA_RECORDS_H */
