/*
 * scan_walk.h - a walk over the scan headers of a stream that the wrapped
 * decoder is about to read, holding them to the progression rule
 * (progression.h) that our own decoders apply as they go: a decoder of
 * someone else's, with no such rule, never sees a stream of repeated scans.
 */
#ifndef MOVRELA_SCAN_WALK_H
#define MOVRELA_SCAN_WALK_H

#include "base/request_records.h"

/* After jpeg_read_header on `cinfo`, whose source reads `in`: walks the
 * rest of the stream once (the first scan's header is in cinfo) and tells
 * whether every scan keeps the rule, within kMaxScans. A stream that ends
 * early, or whose segment runs past its end, is not refused here: the
 * decoder meets the cut as before. Reads the file on from its position
 * (the request then closes it); never changes what the source holds. */
bool scansKeepTheRule(j_decompress_ptr cinfo, const RequestInput *in);

#endif /* MOVRELA_SCAN_WALK_H */
