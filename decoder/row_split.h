/*
 * row_split.h - the rows of a large picture decoded at 1/2, 1/4 or 1/8 on
 * two cores. At those scales the entropy decoding is most of the work, and
 * it runs from the stream's start to its end without a break: the
 * caller's thread decodes the top band of rows (and reports progress); a
 * second thread, with a decompressor of its own over the same input,
 * passes over the rows above the bottom band (libjpeg's
 * jpeg_skip_scanlines reads their entropy data, and makes no pixels), then
 * decodes the bottom band into the same bits block. Both bands hold the
 * rows one thread would have made, bit for bit.
 *
 * The second thread's band counts only when it was read without a warning
 * or an error; otherwise the caller's thread decodes it too, as one thread
 * would, damaged-file prompt included. The second thread never calls the
 * host.
 */
#ifndef MOVRELA_ROW_SPLIT_H
#define MOVRELA_ROW_SPLIT_H

#include "base/request_records.h"

struct BitmapOutput;
struct RowSplit;

/* Reads every row of the picture into the output, after
 * jpeg_start_decompress: a large single-scan picture scaled below full
 * size on two threads, any other on this one alone. `split` holds the
 * second thread while it runs, so that the request's release on a jump
 * (endRowSplit) stops it before the blocks it writes are freed. */
void readRowsOnTwoCores(j_decompress_ptr cinfo, BitmapOutput *output,
                        const DecodeRequest *request, RowSplit **split);

/* Stops the second thread, waits for it and frees its record; nothing when
 * `*split` is null. */
void endRowSplit(RowSplit **split);

#endif /* MOVRELA_ROW_SPLIT_H */
