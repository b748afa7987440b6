/*
 * error_manager.h - the decoder's error manager: libjpeg's error record, a
 * way back to the request that set it up, and the policy for damaged files.
 *
 * libjpeg reports every fatal problem through error_exit, which must not
 * return unless decoding is to go on. Ours (errorExit) returns only when the
 * user agrees to see a damaged picture as far as it goes; otherwise it leaves
 * by a jump to the request's recovery point, where the request releases what
 * it holds and maps msg_code to a ResultCode.
 *
 * A frame that such a jump crosses (source routines, marker processors, the
 * progress monitor) must hold no object with a destructor.
 */
#ifndef MOVRELA_ERROR_MANAGER_H
#define MOVRELA_ERROR_MANAGER_H

#include <csetjmp>
#include <cstdint>

#include "base/jpeg.h"

/* Message codes of our own, above libjpeg's. */
enum DecoderMessage : int {
  kLibraryOutOfMemory = 54,
  DECODE_ABORTED = 2001,     /* the host's progress callback asked to stop */
  EXIF_NO_MEMORY = 2004,     /* no memory for the copy of the Exif segment */
  DATA_TRUNCATED = 2006,     /* the data ended before the picture was complete */
  TOO_MANY_SCANS = 2007      /* a scan no valid progression holds, or too many (BrokenData) */
};

/* Asks the user whether a damaged file is to be shown as far as it could
 * be decoded: 1 yes, anything else no. The caller passes its prompt in (the
 * plug-in's BrokenFilePrompt), as it passes the Exif orientation reader. */
typedef int (*BrokenFileHook)();

struct ErrorManager {
  jpeg_error_mgr pub;      /* the library's record; must stay first */
  std::jmp_buf jumpBuffer; /* the request's recovery point */
  BrokenFileHook prompt;   /* asked when the data end early; null: no, unasked */
};

/* Prepares `errors` and installs it in `cinfo` (before jpeg_CreateDecompress):
 * libjpeg's standard routines, with errorExit and silent message output.
 * The caller sets the recovery point with setjmp(errors->jumpBuffer). */
void setupErrorManager(ErrorManager *errors, jpeg_decompress_struct *cinfo, BrokenFileHook prompt);

/* libjpeg's error_exit. */
void errorExit(j_common_ptr cinfo);

/* Ends the request at once with `code` (abort, no memory for the Exif copy):
 * a jump to the recovery point, whatever the mode. */
[[noreturn]] void leaveWithCode(j_common_ptr cinfo, int code);

#endif /* MOVRELA_ERROR_MANAGER_H */
