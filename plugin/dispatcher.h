/*
 * dispatcher.h - routes one picture or preview request: the Exif thumbnail,
 * or the wrapped plug-in followed by the container's post-processing.
 */
#ifndef MOVRELA_DISPATCHER_H
#define MOVRELA_DISPATCHER_H

#include "base/request_records.h"

/* Runs one request. Writes the host's two handle variables on Success and
 * whenever the wrapped plug-in answered (with its handles, whatever its
 * result); not on the dispatcher's own failures. */
ResultCode DispatchRequest(const DecodeRequest *request);

#endif /* MOVRELA_DISPATCHER_H */
