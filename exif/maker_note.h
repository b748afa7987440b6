/*
 * maker_note.h - the Nikon maker note of an Exif segment, which the report
 * reads for its white balance (tag 7): "Nikon" 0, two bytes, its entry
 * count at 8 and its entries from 10, their offsets counting from the
 * segment's TIFF header.
 */
#ifndef MOVRELA_EXIF_MAKER_NOTE_H
#define MOVRELA_EXIF_MAKER_NOTE_H

#include "exif/report.h"
#include "exif/segment.h"

/* The Nikon maker note of a MakerNote entry: its offset and how many
 * entries it has. False when the entry is no Nikon maker note. */
bool findNikonEntries(const ExifSegment *segment, const IfdEntry *makerNote, uint32_t *note,
                      uint32_t *entries);

/* White balance from a Nikon maker note entry: sets the maker-note flag and
 * value for each tag 7 found. Returns how many were found. `visited`, when
 * given, counts the entries read. */
int readNikonWhiteBalance(const ExifSegment *segment, const IfdEntry *makerNote,
                          ExifReportData *data, uint32_t *visited = nullptr);

#endif /* MOVRELA_EXIF_MAKER_NOTE_H */
