/*
 * report_walk.h - the walk over IFD0, the Exif IFD and a Nikon maker note
 * that collects the camera report's values, and IFD0's orientation, which
 * the same first pass over IFD0 reads.
 */
#ifndef MOVRELA_EXIF_REPORT_WALK_H
#define MOVRELA_EXIF_REPORT_WALK_H

#include "exif/report.h"
#include "exif/segment.h"

/* Collects the report values of IFD0 and the Exif IFD into `data` (which
 * the caller has cleared). Returns n, the number of tags taken. An Exif IFD
 * or maker note pointed to more than once is walked once, and its values
 * count once; the work is linear in the segment. `visited`, when given,
 * receives the number of entries read; `orientation`, when given, what
 * readOrientation gives, from the same walk. */
int collectReportValues(const ExifSegment *segment, ExifReportData *data,
                        uint32_t *visited = nullptr, uint32_t *orientation = nullptr);

/* IFD0's orientation (tag 0x0112): the last such entry decides, 1 to 8 as
 * it says when it is a SHORT with a count of 1 or 2, else 1. 0 when IFD0
 * has none (within the entries that lie inside the segment). */
uint32_t readOrientation(const ExifSegment *segment);

#endif /* MOVRELA_EXIF_REPORT_WALK_H */
