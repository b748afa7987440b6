/*
 * request_records.h - the two records that carry one request through the plug-in
 * (DecodeRequest, RequestContext with its ExifThumbnail). The records and
 * codes at the host boundary are in base/host_interface.h.
 */
#ifndef MOVRELA_REQUEST_RECORDS_H
#define MOVRELA_REQUEST_RECORDS_H

#include <cstdint>

#include "base/host_interface.h"
#include "base/jpeg.h"
#include "platform.h"
#include "base/plugin_settings.h"

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

/* Where a request reads its JPEG stream: a file, from the handle's
 * position, or a block of memory. Container detection moves it to the
 * stream. */
struct RequestInput {
  uint32_t fileInput;  /* 1 file, 0 memory */
  HANDLE file;         /* file input: the handle; INVALID_HANDLE_VALUE when none */
  uint32_t ownsFile;   /* 1: the request opened the file and closes it */
  const uint8_t *data; /* memory input: the stream's first byte */
  int32_t extent;      /* file: the stream's offset; memory: its bytes from data */
  /* File input after detection: the stream's first bytes, already read into
   * the header block, with the file standing behind them; null when the
   * file stands at the stream itself. */
  const uint8_t *primed;
  int32_t primedBytes;
};

/* Where an Exif thumbnail lies and how to convert it. Offsets count from the
 * TIFF header, 6 bytes into the saved segment. */
enum ThumbnailKind : uint32_t {
  ThumbnailNone = 0,
  ThumbnailJpeg = 1,  /* compressed, a JPEG stream of its own */
  ThumbnailRgb = 2,   /* uncompressed RGB strips */
  ThumbnailYcbcr = 3  /* uncompressed YCbCr strips */
};

struct ExifThumbnail {
  uint8_t *savedSegment;  /* copy of the APP1 payload, or null */
  uint32_t kind;          /* a ThumbnailKind */
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

/* The APP2 "ICC_PROFILE" chunks of the header, by sequence number (1 to
 * the count each names); assembled into one profile after the header. */
constexpr uint32_t kProfileChunkSlots = 256;
struct ProfileChunks {
  uint8_t *data[kProfileChunkSlots]; /* copies from libjpeg's memory layer; null when empty */
  uint16_t size[kProfileChunkSlots];
  bool seen[kProfileChunkSlots];
  uint32_t count;  /* the chunk count the chunks name; 0 while none was read */
  bool broken;     /* the chunks are not one profile's: it counts as none */
  bool closed;     /* the header was read: later chunks are passed over */
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
  uint32_t exifOrientation;     /* IFD0's orientation, 1 to 8; 0 when none was read */
  bool adobeRgbMark;            /* the Exif marks Adobe RGB: ColorSpace 0xFFFF, InteropIndex R03 */
  ProfileChunks profileChunks;  /* the embedded ICC profile's chunks */
  bool hostJapanese;            /* the report's language, read with the settings */
};

inline RequestContext *contextOf(j_decompress_ptr cinfo) {
  return reinterpret_cast<RequestContext *>(cinfo);
}

#endif /* MOVRELA_REQUEST_RECORDS_H */
