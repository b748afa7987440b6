/*
 * host_interface.h - the plug-in interface of the viewer's import filters,
 * as both sides see it: the result codes, the picture information record,
 * the progress callback and the six exports' signatures. The plug-in, the
 * reference decoder, the command-line host, the tests and the benchmarks
 * all take them from here. No libjpeg in it.
 *
 * Handle and pointer fields have the host's widths on the 32-bit Windows
 * build, where PictureInfo is the host's packed 26-byte record; natively
 * they are pointer-sized.
 */
#ifndef MOVRELA_HOST_INTERFACE_H
#define MOVRELA_HOST_INTERFACE_H

#include <cstdint>

#include "platform.h"

/* Exported with the standard calling convention under undecorated names. */
#define PLUGIN_EXPORT extern "C" __declspec(dllexport)

enum ResultCode : int32_t {
  NotImplemented = -1,
  Success = 0,
  Aborted = 1,          /* the host's progress callback asked to stop */
  UnknownFormat = 2,    /* not a supported input, or no external decoder */
  BrokenData = 3,       /* any decoder failure not listed here */
  OutOfMemory = 4,      /* the decoder library ran out of memory */
  FileReadError = 6,    /* the file cannot be opened */
  ExternalDeclined = 10 /* the external decoder did not decode the picture */
};

#pragma pack(push, 1)
struct PictureInfo {
  int32_t left;       /* always 0 */
  int32_t top;        /* always 0 */
  int32_t width;      /* pixels */
  int32_t height;     /* pixels */
  uint16_t xDensity;  /* horizontal pixel density */
  uint16_t yDensity;  /* vertical pixel density */
  int16_t bitDepth;   /* 24 colour, 8 grey or colour-mapped */
  HLOCAL textHandle;  /* movable block with the text, or null */
};
#pragma pack(pop)

static_assert(sizeof(void *) != 4 || sizeof(PictureInfo) == 26,
              "PictureInfo is the host's packed 26-byte record");

/* Host progress callback: (numerator 0..100, denominator 100, callbackData);
 * a non-zero answer asks to stop. */
typedef int32_t(WINAPI *ProgressCallback)(int32_t numerator, int32_t denominator,
                                          int32_t callbackData);

/* The low three bits of `flag` give the input kind: 1 memory, anything else
 * a file. Returns 1 for file input, 0 for memory input. */
inline uint32_t fileInputFromFlag(uint32_t flag) { return (flag & 7u) == 1u ? 0u : 1u; }

/* The six exports, as a host looks them up. GetPreview has GetPicture's
 * signature. */
typedef int32_t(WINAPI *GetPluginInfoFn)(int32_t infoIndex, char *buf, int32_t bufferSize);
typedef int32_t(WINAPI *IsSupportedFn)(char *buf, UINT_PTR source);
typedef int32_t(WINAPI *GetPictureInfoFn)(char *buf, int32_t len, uint32_t flag,
                                          PictureInfo *infoOut);
typedef int32_t(WINAPI *GetPictureFn)(char *buf, int32_t len, uint32_t flag,
                                      HLOCAL *infoHandleOut, HLOCAL *bitsHandleOut,
                                      ProgressCallback progressCallback, int32_t callbackData);
typedef int32_t(WINAPI *ConfigurationDlgFn)(HWND parent, int32_t function);

#endif /* MOVRELA_HOST_INTERFACE_H */
