/*
 * colour_mark.h - the Exif way of saying Adobe RGB (1998): a camera set to
 * it writes ColorSpace 0xFFFF (uncalibrated) in the Exif IFD and
 * InteropIndex "R03" in the Interoperability IFD, and no ICC profile.
 */
#ifndef MOVRELA_EXIF_COLOUR_MARK_H
#define MOVRELA_EXIF_COLOUR_MARK_H

#include "exif/segment.h"

/* True when the segment carries both marks. Within an IFD the last entry
 * of a tag decides; IFD0 and the Interoperability IFD are read once, the
 * Exif IFD once more for its Interoperability link when it says
 * uncalibrated. */
bool marksAdobeRgb(const ExifSegment *segment);

#endif /* MOVRELA_EXIF_COLOUR_MARK_H */
