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

#include "containers/container.h"

/* Where the header keeps the shooting date: six BCD bytes, year first. */
constexpr int32_t kJ6iDateOffset = 0x44;
/* Bytes of the date text block: "YY/MM/DD hh:mm:ss" and its zero, rounded. */
constexpr uint32_t kJ6iDateTextSize = 20;

/* The entry. Its post-processor returns 1, or 0 when it left a bitmap
 * alone (not 24-bit bottom-up, or blocks smaller than the header says);
 * it never replaces a block and makes no crop that leaves no pixel. */
extern const ContainerHandler kJ6iContainer;

#endif /* MOVRELA_J6I_H */
