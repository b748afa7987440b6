/*
 * exports.h - the six functions the host calls, with the host's calling
 * convention and undecorated names.
 */
#ifndef MOVRELA_EXPORTS_H
#define MOVRELA_EXPORTS_H

#include "base/host_interface.h"

/* GetPluginInfo's text for index 1: this build's name and version. */
extern const char kPluginVersionText[];

PLUGIN_EXPORT int32_t WINAPI GetPluginInfo(int32_t infoIndex, char *buf, int32_t bufferSize);
PLUGIN_EXPORT int32_t WINAPI IsSupported(char *buf, UINT_PTR source);
PLUGIN_EXPORT int32_t WINAPI GetPictureInfo(char *buf, int32_t len, uint32_t flag,
                                            PictureInfo *infoOut);
PLUGIN_EXPORT int32_t WINAPI GetPicture(char *buf, int32_t len, uint32_t flag,
                                        HLOCAL *infoHandleOut, HLOCAL *bitsHandleOut,
                                        ProgressCallback progressCallback, int32_t callbackData);
PLUGIN_EXPORT int32_t WINAPI GetPreview(char *buf, int32_t len, uint32_t flag,
                                        HLOCAL *infoHandleOut, HLOCAL *bitsHandleOut,
                                        ProgressCallback progressCallback, int32_t callbackData);
PLUGIN_EXPORT int32_t WINAPI ConfigurationDlg(HWND parent, int32_t function);

#endif /* MOVRELA_EXPORTS_H */
