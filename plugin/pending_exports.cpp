/*
 * pending_exports.cpp - the exports whose work is not built yet. Each gives
 * the host a clear answer: not supported, or NotImplemented.
 */
#include "plugin/records.h"

PLUGIN_EXPORT int32_t WINAPI IsSupported(char * /*buf*/, UINT_PTR /*source*/) { return 0; }

PLUGIN_EXPORT int32_t WINAPI GetPictureInfo(char * /*buf*/, int32_t /*len*/, uint32_t /*flag*/,
                                            PictureInfo * /*infoOut*/) {
  return NotImplemented;
}

PLUGIN_EXPORT int32_t WINAPI GetPicture(char * /*buf*/, int32_t /*len*/, uint32_t /*flag*/,
                                        HLOCAL * /*infoHandleOut*/, HLOCAL * /*bitsHandleOut*/,
                                        ProgressCallback /*progressCallback*/,
                                        int32_t /*callbackData*/) {
  return NotImplemented;
}

PLUGIN_EXPORT int32_t WINAPI GetPreview(char * /*buf*/, int32_t /*len*/, uint32_t /*flag*/,
                                        HLOCAL * /*infoHandleOut*/, HLOCAL * /*bitsHandleOut*/,
                                        ProgressCallback /*progressCallback*/,
                                        int32_t /*callbackData*/) {
  return NotImplemented;
}

PLUGIN_EXPORT int32_t WINAPI ConfigurationDlg(HWND /*parent*/, int32_t /*function*/) {
  return NotImplemented;
}
