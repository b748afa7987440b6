/*
 * internal_decoder.h - decodes a whole JPEG picture with libjpeg into the
 * host's bitmap pair, in place of the wrapped plug-in (GetPicture falls back
 * to it when that plug-in declines a picture).
 */
#ifndef MOVRELA_INTERNAL_DECODER_H
#define MOVRELA_INTERNAL_DECODER_H

#include "base/request.h"

/* Decodes the request's input at full size. On Success the two handles are
 * stored through the request; on every other result neither is written. */
ResultCode decodeInternally(const DecodeRequest *request);

#endif /* MOVRELA_INTERNAL_DECODER_H */
