/*
 * internal_decoder.h - decodes a whole JPEG picture with libjpeg into the
 * host's bitmap pair, in place of the wrapped plug-in (GetPicture falls back
 * to it when that plug-in declines a picture).
 */
#ifndef MOVRELA_INTERNAL_DECODER_H
#define MOVRELA_INTERNAL_DECODER_H

#include "base/request_records.h"
#include "decoder/error_manager.h"

/* Decodes the request's input at full size. On Success the two handles are
 * stored through the request; on every other result neither is written.
 * `exifOrientationReader` is the APP1 reader that records the Exif
 * orientation in the request for the plain-JPEG turn (the Exif reader's
 * readExifOrientation, handed down by the caller, which knows the Exif
 * subsystem); null: no turn is read. `prompt` is asked, while ReportDialog
 * is on, whether a damaged file is to be shown as far as it goes; null:
 * such a file fails unasked. */
ResultCode decodeInternally(const DecodeRequest *request,
                            jpeg_marker_parser_method exifOrientationReader,
                            BrokenFileHook prompt = nullptr);

#endif /* MOVRELA_INTERNAL_DECODER_H */
