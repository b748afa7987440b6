/*
 * open_release.h - the opening and the end of every request that reads a JPEG
 * stream with libjpeg (GetPicture, GetPreview, GetPictureInfo, IsSupported
 * and the internal decoder): its input and the source attached to its
 * decompressor, and the one release of everything a request holds. The
 * header pass between them is decoder/header_pass.h.
 */
#ifndef MOVRELA_OPEN_RELEASE_H
#define MOVRELA_OPEN_RELEASE_H

#include <cstdint>

#include "base/request_records.h"
#include "decoder/error_manager.h"

struct BitmapOutput;

/* Opens the named file and moves to offset `len` (file input), or takes
 * the block of `len` bytes at `input` (memory input). FileReadError, with
 * nothing held, when the file cannot be opened; else Success. */
ResultCode openRequestInput(const char *input, int32_t len, uint32_t fileInput, RequestInput *in);

/* The host's own input of the format test: its open file handle (never
 * closed here) or its block of `blockSize` bytes. */
void takeHostInput(UINT_PTR source, int32_t blockSize, RequestInput *in);

/* Attaches a file or memory source over the input's stream. */
void attachRequestSource(j_decompress_ptr cinfo, const RequestInput *in, bool suppressPrompt);

/* Releases what a request holds: the text and the Exif copies left in its
 * context, the bitmap output being built (when `output` is given), the
 * decompressor, and the file the request opened. Everything is cleared, so
 * a second call releases nothing. */
void releaseRequest(RequestContext *context, RequestInput *in, BitmapOutput **output);

/* The result a request gives for the message code its error manager holds
 * after a decoder failure. */
ResultCode resultForMessage(int messageCode);

#endif /* MOVRELA_OPEN_RELEASE_H */
