/*
 * open_release.cpp - the host's input of the format test, the release of all a
 * request holds, and the one mapping of failures to result codes. Shared
 * with the reference decoder, which detects no containers.
 */
#include "decoder/open_release.h"

#include "decoder/bitmap_output.h"
#include "decoder/memory_layer.h"
#include "decoder/sources.h"

ResultCode openRequestInput(const char *input, int32_t len, uint32_t fileInput, RequestInput *in) {
  in->fileInput = fileInput;
  in->file = INVALID_HANDLE_VALUE;
  in->ownsFile = 0;
  in->data = nullptr;
  in->extent = len;
  in->primed = nullptr;
  in->primedBytes = 0;
  if (!fileInput) {
    in->data = reinterpret_cast<const uint8_t *>(input);
    return Success;
  }
  in->file = CreateFileA(input, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in->file == INVALID_HANDLE_VALUE) return FileReadError;
  in->ownsFile = 1;
  if (len != 0) SetFilePointer(in->file, len, nullptr, FILE_BEGIN);
  return Success;
}

void attachRequestSource(j_decompress_ptr cinfo, const RequestInput *in, bool suppressPrompt) {
  if (in->fileInput)
    attachFileSource(cinfo, in->file, suppressPrompt, in->primed, in->primedBytes);
  else
    attachMemorySource(cinfo, in->data, in->extent, suppressPrompt);
}

void takeHostInput(UINT_PTR source, int32_t blockSize, RequestInput *in) {
  /* A file handle has its high 16 bits clear; anything else is the block. */
  in->fileInput = (source >> 16) == 0 ? 1 : 0;
  in->file = in->fileInput ? reinterpret_cast<HANDLE>(source) : INVALID_HANDLE_VALUE;
  in->ownsFile = 0;
  in->data = in->fileInput ? nullptr : reinterpret_cast<const uint8_t *>(source);
  in->extent = in->fileInput ? 0 : blockSize;
  in->primed = nullptr;
  in->primedBytes = 0;
}

void releaseRequest(RequestContext *context, RequestInput *in, BitmapOutput **output) {
  j_common_ptr common = reinterpret_cast<j_common_ptr>(&context->cinfo);
  if (context->textHandle) LocalFree(context->textHandle);
  context->textHandle = nullptr;
  context->textLength = 0;
  if (context->exifCopy) jpeg_free_small(common, context->exifCopy, 0);
  if (context->thumbnail.savedSegment) jpeg_free_small(common, context->thumbnail.savedSegment, 0);
  context->exifCopy = nullptr;
  context->thumbnail.savedSegment = nullptr;
  ProfileChunks &chunks = context->profileChunks;
  for (uint32_t i = 0; i < kProfileChunkSlots; ++i) {
    if (chunks.data[i]) jpeg_free_small(common, chunks.data[i], chunks.size[i]);
    chunks.data[i] = nullptr;
  }
  if (output) {
    discardBitmapOutput(*output);
    *output = nullptr;
  }
  jpeg_destroy_decompress(&context->cinfo);
  if (in->ownsFile && in->file != INVALID_HANDLE_VALUE) CloseHandle(in->file);
  in->file = INVALID_HANDLE_VALUE;
  in->ownsFile = 0;
}

ResultCode resultForMessage(int messageCode) {
  switch (messageCode) {
    case kLibraryOutOfMemory: return OutOfMemory;
    case DECODE_ABORTED: return Aborted;
    default: return BrokenData; /* DATA_TRUNCATED (prompt declined) included */
  }
}
