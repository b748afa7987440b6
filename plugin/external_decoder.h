/*
 * external_decoder.h - the process-wide record of the wrapped JPEG plug-in
 * (the external decoder) to which picture and preview requests are handed.
 */
#ifndef MOVRELA_EXTERNAL_DECODER_H
#define MOVRELA_EXTERNAL_DECODER_H

#include <cstdint>

#include "platform.h"

typedef int32_t(WINAPI *ExternalGetPluginInfo)(int32_t infoIndex, char *buf, int32_t bufferSize);
typedef int32_t(WINAPI *ExternalIsSupported)(char *buf, uint32_t source);
typedef int32_t(WINAPI *ExternalGetPictureInfo)(char *buf, int32_t len, uint32_t flag,
                                                void *infoOut);
typedef int32_t(WINAPI *ExternalGetPicture)(char *buf, int32_t len, uint32_t flag,
                                            HLOCAL *infoHandleOut, HLOCAL *bitsHandleOut,
                                            void *progressCallback, int32_t callbackData);

/* Either everything is set and `loadedName` is the configured name that was
 * loaded, or the handle and all entries are null and the name is empty. */
struct ExternalDecoder {
  HMODULE module;
  ExternalGetPluginInfo GetPluginInfo;
  ExternalIsSupported IsSupported;
  ExternalGetPictureInfo GetPictureInfo;
  ExternalGetPicture GetPicture;
  ExternalGetPicture GetPreview;
  char loadedName[260];
};

/* No lock: written by the first request of the process and by the settings
 * dialog's switch, read by every request. */
extern ExternalDecoder g_externalDecoder;

/* Clears the record without releasing anything. */
void ClearExternalDecoder();

#endif /* MOVRELA_EXTERNAL_DECODER_H */
