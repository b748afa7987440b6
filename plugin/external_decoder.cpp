/*
 * external_decoder.cpp - the external decoder record.
 */
#include "plugin/external_decoder.h"

ExternalDecoder g_externalDecoder;

void ClearExternalDecoder() {
  g_externalDecoder.module = nullptr;
  g_externalDecoder.GetPluginInfo = nullptr;
  g_externalDecoder.IsSupported = nullptr;
  g_externalDecoder.GetPictureInfo = nullptr;
  g_externalDecoder.GetPicture = nullptr;
  g_externalDecoder.GetPreview = nullptr;
  g_externalDecoder.loadedName[0] = 0;
}
