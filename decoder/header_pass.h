/*
 * header_pass.h - the start every request that reads a JPEG stream shares
 * (GetPicture, GetPreview, GetPictureInfo, IsSupported and the internal
 * decoder): its input and error manager, then container detection and a
 * decompressor with a source over the stream.
 *
 * The recovery point stays in each request's own frame: open the request,
 * set the recovery point with setjmp(errors->jumpBuffer), then start the
 * header pass. On every exit, the jump's included, releaseRequest
 * (decoder/open_release.h).
 */
#ifndef MOVRELA_HEADER_PASS_H
#define MOVRELA_HEADER_PASS_H

#include <cstdint>

#include "base/request_records.h"
#include "decoder/error_manager.h"

/* openRequestInput (decoder/open_release.h), then sets up the error
 * manager. */
ResultCode openRequest(jpeg_decompress_struct *cinfo, ErrorManager *errors, const char *input,
                       int32_t len, uint32_t fileInput, BrokenFileHook prompt, RequestInput *in);

/* Detects the container, filling `headerBlock` and moving the input to the
 * JPEG stream, then creates the decompressor and attaches a source over
 * the stream (`suppressPrompt`: an early end is absorbed silently). The
 * container kind, or ContainerUnsupported with no decompressor created. */
int32_t startHeaderPass(RequestContext *context, uint8_t *headerBlock, RequestInput *in,
                        bool suppressPrompt);

#endif /* MOVRELA_HEADER_PASS_H */
