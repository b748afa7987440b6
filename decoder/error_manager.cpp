/*
 * error_manager.cpp - errorExit and the silent message routines.
 *
 * Every request, the format test's included, leaves by a jump to its
 * recovery point: MinGW's i686 compiler offers no frame-based structured
 * exception handler, so a raised Win32 exception could not be caught
 * reliably around the header pass, and the jump gives the host the same
 * answer without one.
 */
#include "decoder/error_manager.h"

namespace {

/* Warnings and traces are ignored, and no message text is ever formatted. */
void emitNothing(j_common_ptr, int) {}
void outputNothing(j_common_ptr) {}

}  // namespace

void setupErrorManager(ErrorManager *errors, jpeg_decompress_struct *cinfo, BrokenFileHook prompt) {
  cinfo->err = jpeg_std_error(&errors->pub);
  errors->pub.error_exit = errorExit;
  errors->pub.emit_message = emitNothing;
  errors->pub.output_message = outputNothing;
  errors->prompt = prompt;
}

void errorExit(j_common_ptr cinfo) {
  ErrorManager *errors = reinterpret_cast<ErrorManager *>(cinfo->err);
  if (errors->pub.msg_code == DATA_TRUNCATED && errors->prompt) {
    if (errors->prompt() == 1) {
      /* The user wants the picture as far as it goes: the source completes
       * the stream and decoding continues. */
      errors->prompt = nullptr;
      return;
    }
  }
  std::longjmp(errors->jumpBuffer, 1);
}
