/*
 * dispatcher.h - routes one picture or preview request: the Exif thumbnail,
 * or the wrapped plug-in followed by the container's post-processing.
 */
#ifndef MOVRELA_DISPATCHER_H
#define MOVRELA_DISPATCHER_H

#include "base/request_records.h"

/* Runs one request. Writes the host's two handle variables on Success and
 * whenever the wrapped plug-in answered (with its handles, whatever its
 * result); not on the dispatcher's own failures. With `asDecoded` the
 * stream's own Exif and colour profile do not count (the settings leave
 * them out): a wrapped copy of this build is told so, and returns the
 * stream as decoded. */
ResultCode DispatchRequest(const DecodeRequest *request, bool asDecoded);

#endif /* MOVRELA_DISPATCHER_H */
