/*
 * external_decoder.h - the process-wide record of the wrapped JPEG plug-in
 * (the external decoder) to which picture and preview requests are handed.
 */
#ifndef MOVRELA_EXTERNAL_DECODER_H
#define MOVRELA_EXTERNAL_DECODER_H

#include <cstdint>

#include "base/host_interface.h"

/* Either everything is set and `loadedName` is the configured name that was
 * loaded, or the handle and all entries are null and the name is empty. */
struct ExternalDecoder {
  HMODULE module;
  GetPluginInfoFn GetPluginInfo;
  IsSupportedFn IsSupported;
  GetPictureInfoFn GetPictureInfo;
  GetPictureFn GetPicture;
  GetPictureFn GetPreview;
  char loadedName[260];
  bool isCopy;         /* it is a copy of this build (GetPluginInfo 1 is ours) */
  int32_t users;       /* requests holding this module now */
  uint32_t generation; /* counts the loads, so that a hold knows its module */
};

/* Written by the first request of the process and by the settings dialog's
 * switch, read by every request; all of it under DecoderLock. */
extern ExternalDecoder g_externalDecoder;

/* One request's hold on the decoder it calls. */
struct DecoderHold {
  HMODULE module;
  GetPictureFn entry; /* GetPicture or GetPreview of that module */
  uint32_t generation;
  bool isCopy;        /* that module is a copy of this build */
};

/* Clears the record without releasing anything. */
void ClearExternalDecoder();

/* Loads the wrapped plug-in `name` and fills the record when all five
 * exports are there; returns the module, or null (record unchanged, or
 * cleared when a loaded file lacked an export). A full path (drive letter
 * and backslash, or a UNC path) loads as it is. Any other name, one that
 * starts at a root of the current drive included, is joined with the
 * host's plug-in folder when that is a full path; a bare file name is then
 * also looked for in this plug-in's folder, the host's folder, the system
 * folder and the Windows folder, never in the current folder or along
 * PATH. A file that turns out to be this plug-in is passed over. */
HMODULE LoadExternalDecoder(const char *name);

/* Releases the loaded plug-in, if any, and clears the record. A module that
 * requests are still inside is released when the last of them returns. */
void UnloadExternalDecoder();

/* Keeps the loaded plug-in when `name` is the loaded name (letter case
 * aside); otherwise unloads it and loads `name`. */
HMODULE SwitchExternalDecoder(const char *name);

/* For one picture (or, with `preview`, preview) request: loads `name` when
 * no decoder is loaded, and holds the loaded one, which stays loaded until
 * ReleaseExternalDecoder even if the settings dialog switches meanwhile.
 * False, with nothing held, when no decoder can be had. */
bool HoldExternalDecoder(const char *name, bool preview, DecoderHold *hold);

/* True when the loaded wrapped plug-in is a copy of this build: its
 * GetPluginInfo text for index 1, asked once at load, equals ours exactly.
 * Such a copy reads a plain JPEG stream as we would and returns it upright
 * and converted. */
bool ExternalDecoderIsCopy();

/* Ends a hold; frees a module switched away from when its last hold ends. */
void ReleaseExternalDecoder(const DecoderHold *hold);

#endif /* MOVRELA_EXTERNAL_DECODER_H */
