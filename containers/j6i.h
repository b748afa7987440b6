/*
 * j6i.h - the J6I container (entry 1 of ContainerHandlers): pictures of
 * the Ricoh DC-1 and DC-2, whose pixels are not square. Recognised by its
 * header (0x80, then "DSCIM" at byte 2, and the stream's distance at
 * 0x38), switched on by J6ISupport.
 *
 * The information handler reports the size less the edges to be cut, the
 * densities AspectX : AspectY and the shooting date as text; the
 * post-processor corrects the bitmap's resolution fields by the same ratio
 * and cuts Left, Right, Top and Bottom pixels away, in place.
 *
 * Settings are taken as the registry may hold them: negative edges count as
 * 0, and with AspectY of 0 or less the bitmap's resolution is not touched.
 */
#ifndef MOVRELA_J6I_H
#define MOVRELA_J6I_H

#include "containers/detect.h"

/* Where the header keeps the shooting date: six BCD bytes, year first. */
constexpr int32_t kJ6iDateOffset = 0x44;
/* Bytes of the date text block: "YY/MM/DD hh:mm:ss" and its zero, rounded. */
constexpr uint32_t kJ6iDateTextSize = 20;

/* Reduces width and height by the edges when the result stays positive,
 * sets the densities to AspectX and AspectY (low 16 bits), and, when
 * textHandle is null, sets it to a fixed block with the date text (left
 * null when no memory). Returns 0. */
int j6iInfoHandler(const PluginSettings *settings, const uint8_t *headerBlock,
                   uint32_t exifOrientation, PictureInfo *info);

/* Aspect correction of biXPelsPerMeter/biYPelsPerMeter, then, for a 24-bit
 * bottom-up bitmap, the edge crop in the same bits block (biSizeImage
 * becomes 0). A crop that leaves no pixel is not made. A bitmap whose
 * blocks are smaller than its header says is left alone. Never replaces a
 * block. Returns 1, or 0 when the bitmap was left alone. */
int j6iPostProcessor(const PluginSettings *settings, const uint8_t *headerBlock,
                     uint32_t exifOrientation, const ColourTransform *colour,
                     BitmapHandles *bitmap);

/* The stream distance that a J6I header in `headerBlock` gives, or 0. */
uint32_t j6iStreamDistance(const uint8_t *headerBlock);

/* True for the stream distance of a J6I file (44): a stream found there by
 * the start-marker search lies behind a J6I header that was not accepted. */
bool j6iRefusesStreamAt(int32_t start);

constexpr ContainerHandler kJ6iContainer = {
    j6iInfoHandler,    j6iPostProcessor,  j6iStreamDistance,    j6iRefusesStreamAt,
    &PluginSettings::J6ISupport, "*.J6I", "RICOH DC-1,2(J6I)"};

#endif /* MOVRELA_J6I_H */
