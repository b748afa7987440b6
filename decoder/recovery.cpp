/*
 * recovery.cpp - leaving a decode at once with a code of our own (the host
 * stopped it, or the Exif copy found no memory): a jump to the request's
 * recovery point, whatever the error manager's mode.
 */
#include "decoder/error_manager.h"

void leaveWithCode(j_common_ptr cinfo, int code) {
  ErrorManager *errors = reinterpret_cast<ErrorManager *>(cinfo->err);
  errors->pub.msg_code = code;
  std::longjmp(errors->jumpBuffer, 1);
}
