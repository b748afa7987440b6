/*
 * colour.h - colours as a picture's profile means them: the transform from
 * the picture's colour space (an embedded ICC profile, Adobe RGB by the
 * Exif mark, or sRGB for untagged pictures) to sRGB or to the display's
 * profile, made with LittleCMS and kept in a small cache, and its use on
 * rows, palettes and finished bitmaps.
 *
 * A request acquires the transform once its header pass has seen the
 * picture's segments, applies it where the bitmap is written, and releases
 * it when done. Null means the colours stay as decoded: the setting is 0,
 * the picture's colours are already the output's (decided from the
 * transform, not from a name), or something could not be had. A failure
 * never fails the picture.
 */
#ifndef MOVRELA_COLOUR_H
#define MOVRELA_COLOUR_H

#include <cstdint>

#include "base/blocks.h"

/* ColorManagement values. */
constexpr int32_t kColourAsDecoded = 0;
constexpr int32_t kColourToSrgb = 1;
constexpr int32_t kColourToDisplay = 2;

/* The samples a transform reads: a grey level, B G R, or C M Y K with 255
 * meaning no ink (as Adobe writes it). It always writes B G R. */
enum ColourModel : uint32_t { ColourGrey = 1, ColourRgb = 3, ColourCmyk = 4 };

/* What the header pass learnt of a picture's colours. */
struct ColourSource {
  ColourModel model;      /* the decoded samples' kind */
  const uint8_t *profile; /* an embedded ICC profile, or null */
  uint32_t profileSize;
  bool adobeRgb;          /* no profile, but the Exif marks Adobe RGB (1998) */
};

struct ColourTransform; /* shared by the requests that hold it */

/* The transform for a picture under `setting`, held until released; null
 * when the colours stay as decoded. A profile whose colour space does not
 * fit the model counts as none. */
ColourTransform *acquireColourTransform(int32_t setting, const ColourSource *source);
void releaseColourTransform(ColourTransform *transform);

/* What the transform reads. */
ColourModel colourInput(const ColourTransform *transform);

/* Converts `pixels` samples of the transform's input at `in` to B G R at
 * `out`; `in` may be `out` for an RGB transform. */
void convertPixels(const ColourTransform *transform, const uint8_t *in, uint8_t *out,
                   uint32_t pixels);

/* Converts `rows` rows of `width` B G R pixels in place, `stride` bytes
 * apart, for an RGB transform. */
void convertRows(const ColourTransform *transform, uint8_t *bits, int64_t stride, int32_t width,
                 int32_t rows);

/* Converts palette entries (B G R and a spare byte each) in place: a grey
 * transform takes each entry's level, an RGB one its colour. Nothing for a
 * CMYK transform. */
void convertPalette(const ColourTransform *transform, uint8_t *entries, uint32_t count);

/* Converts a finished bitmap in place: 24-bit BI_RGB rows pixel by pixel
 * (RGB transforms, and grey ones when every pixel's channels are equal),
 * 8-bit ones through their palette. Other depths,
 * compressed or top-down bitmaps, and blocks smaller than their header
 * says stay as they are. True when it was converted. */
bool convertBitmap(const ColourTransform *transform, BitmapHandles *bitmap);

/* Process attach and detach: the transform cache, kept in the module
 * state. Detach frees every transform the cache holds. */
void openColourCache();
void closeColourCache();

#endif /* MOVRELA_COLOUR_H */
