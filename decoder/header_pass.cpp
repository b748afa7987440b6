/*
 * header_pass.cpp - the start every plug-in request shares: its input
 * and error manager, then container detection and a decompressor with a
 * source over the stream.
 */
#include "decoder/header_pass.h"

#include "containers/detect.h"
#include "decoder/open_release.h"

ResultCode openRequest(jpeg_decompress_struct *cinfo, ErrorManager *errors, const char *input,
                       int32_t len, uint32_t fileInput, BrokenFileHook prompt, RequestInput *in) {
  ResultCode opened = openRequestInput(input, len, fileInput, in);
  if (opened == Success) setupErrorManager(errors, cinfo, prompt);
  return opened;
}

int32_t startHeaderPass(RequestContext *context, uint8_t *headerBlock, RequestInput *in,
                        bool suppressPrompt) {
  jpeg_decompress_struct *cinfo = &context->cinfo;
  int32_t kind = detectContainer(&context->settings, headerBlock, in);
  if (kind < 0) return ContainerUnsupported;
  jpeg_CreateDecompress(cinfo, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
  attachRequestSource(cinfo, in, suppressPrompt);
  return kind;
}
