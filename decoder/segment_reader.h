/*
 * segment_reader.h - reading a marker segment's bytes from libjpeg's
 * source inside a marker processor (jpeg_set_marker_processor). Our
 * sources never suspend: a source that cannot deliver ends the request
 * through the error manager.
 */
#ifndef MOVRELA_SEGMENT_READER_H
#define MOVRELA_SEGMENT_READER_H

#include <cstdint>

#include "base/jpeg.h"

/* The next byte of the segment. */
unsigned nextByte(j_decompress_ptr cinfo);

/* The segment's length field (big-endian, counting itself). */
uint32_t readSegmentLength(j_decompress_ptr cinfo);

/* Copies the next `count` bytes of the segment to `out`. */
void copyBytes(j_decompress_ptr cinfo, uint8_t *out, uint32_t count);

/* Passes over the next `count` bytes. */
void skipBytes(j_decompress_ptr cinfo, uint32_t count);

#endif /* MOVRELA_SEGMENT_READER_H */
