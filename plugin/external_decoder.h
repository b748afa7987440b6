/*
 * external_decoder.h - the process-wide record of the wrapped JPEG plug-in
 * (the external decoder) to which picture and preview requests are handed.
 */
#ifndef MOVRELA_EXTERNAL_DECODER_H
#define MOVRELA_EXTERNAL_DECODER_H

#include <cstdint>

#include "platform.h"

typedef int32_t(WINAPI *ExternalGetPluginInfo)(int32_t infoIndex, char *buf, int32_t bufferSize);
typedef int32_t(WINAPI *ExternalIsSupported)(char *buf, UINT_PTR source);
typedef int32_t(WINAPI *ExternalGetPictureInfo)(char *buf, int32_t len, uint32_t flag,
                                                void *infoOut);
typedef int32_t(WINAPI *ExternalProgress)(int32_t numerator, int32_t denominator,
                                          int32_t callbackData);
typedef int32_t(WINAPI *ExternalGetPicture)(char *buf, int32_t len, uint32_t flag,
                                            HLOCAL *infoHandleOut, HLOCAL *bitsHandleOut,
                                            ExternalProgress progressCallback,
                                            int32_t callbackData);

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

/* Loads the wrapped plug-in `name`: from the host's plug-in folder first,
 * then by the name alone. Fills the record when all five exports are there;
 * returns the module, or null (record unchanged, or cleared when a loaded
 * file lacked an export). */
HMODULE LoadExternalDecoder(const char *name);

/* Releases the loaded plug-in, if any, and clears the record. */
void UnloadExternalDecoder();

/* Keeps the loaded plug-in when `name` is the loaded name (letter case
 * aside); otherwise unloads it and loads `name`. */
HMODULE SwitchExternalDecoder(const char *name);

#endif /* MOVRELA_EXTERNAL_DECODER_H */
