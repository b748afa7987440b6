/*
 * bitmap_output.h - receives the rows libjpeg decodes for the internal
 * decoder and builds the host's bitmap pair: an info block (header, and a
 * grey palette for 8-bit pictures) and a bits block of bottom-up rows padded
 * to multiples of 4 bytes.
 *
 * Grey and colour rows are decoded straight into their bottom-up place in
 * the bits block (colour as B, G, R, the bitmap's order); only CMYK and YCCK
 * rows go through a row buffer, a band of rows at a time, to be converted
 * (through the picture's press profile when it has one) over all cores.
 * The picture is held once, not in a second array.
 */
#ifndef MOVRELA_BITMAP_OUTPUT_H
#define MOVRELA_BITMAP_OUTPUT_H

#include <cstdint>

#include "base/jpeg.h"

struct BitmapOutput;
struct ColourTransform;
typedef void (*OutputStep)(j_decompress_ptr cinfo, BitmapOutput *output);
typedef void (*OutputRows)(j_decompress_ptr cinfo, BitmapOutput *output, JDIMENSION rows);
/* The colour conversion's entry (colour/colour.h), passed in so that a
 * decoder without colour management links none. */
typedef void (*PixelConversion)(const ColourTransform *transform, const uint8_t *in, uint8_t *out,
                                uint32_t pixels);

/* A CMYK picture's press profile, which converts the row buffer's samples
 * into the bitmap row instead of C x K / 255; null: none. */
struct OutputColour {
  const ColourTransform *transform;
  PixelConversion convertPixels;
};

struct BitmapOutput {
  OutputRows putRows;      /* after each read: CMYK or YCCK conversion, or padding */
  OutputStep finish;       /* header, palette, final progress pass, unlock */
  JSAMPARRAY rowBuffer;    /* rows for CMYK and YCCK data; null otherwise */
  JDIMENSION bandRows;     /* the rows rowBuffer holds: 1 without a press profile */
  int32_t dataWidth;       /* bytes of picture data per bitmap row */
  int32_t rowWidth;        /* dataWidth raised to a multiple of 4 */
  int32_t fillCount;       /* rowWidth - dataWidth */
  int32_t nextRow;         /* picture row the next put stores, from 0 */
  HLOCAL bitsHandle;
  HLOCAL infoHandle;
  uint8_t *bits;           /* locked bits block */
  uint8_t *info;           /* locked info block */
  int32_t pictureSize;     /* rowWidth x output_height */
  int32_t bitCount;        /* 8 or 24 */
  OutputColour colour;     /* set by setOutputColour */
};

/* Creates the output after the header was read and the output colour space
 * chosen (greyscale, RGB, or CMYK for four-component data, converted to
 * RGB here), before jpeg_start_decompress. Allocates and locks both blocks;
 * when they cannot be had, or the picture is too large for a bitmap, it
 * frees what it took and fails with libjpeg's out-of-memory error. */
BitmapOutput *createBitmapOutput(j_decompress_ptr cinfo);

/* The same at the scale set in cinfo (scale_num / scale_denom), but null,
 * with nothing held, when the blocks cannot be had; the caller may then try
 * a smaller scale. */
BitmapOutput *tryBitmapOutput(j_decompress_ptr cinfo);

/* Gives a four-component picture's rows its press profile, before
 * jpeg_start_decompress, and makes its row buffer a band of rows, which are
 * converted over all cores; fails with libjpeg's out-of-memory error when
 * the band cannot be had. */
void setOutputColour(j_decompress_ptr cinfo, BitmapOutput *output, const OutputColour &colour);

/* Decodes every row of the picture into the output, after
 * jpeg_start_decompress. */
void readBitmapRows(j_decompress_ptr cinfo, BitmapOutput *output);

/* The same up to output row `end` (not included): a band of the rows. */
void readBitmapRowsTo(j_decompress_ptr cinfo, BitmapOutput *output, JDIMENSION end);

/* Releases both blocks of an output abandoned after a failure. */
void discardBitmapOutput(BitmapOutput *output);

#endif /* MOVRELA_BITMAP_OUTPUT_H */
