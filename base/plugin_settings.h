/*
 * plugin_settings.h - the plug-in's whole configuration as one plain
 * record: every request carries a copy. It is stored and loaded by
 * settings/settings.h.
 */
#ifndef MOVRELA_PLUGIN_SETTINGS_H
#define MOVRELA_PLUGIN_SETTINGS_H

#include <cstdint>

/* ExifPreviewLevel's bits, one per thumbnail kind. */
constexpr int32_t kPreviewLevelJpeg = 2;
constexpr int32_t kPreviewLevelRgb = 4;
constexpr int32_t kPreviewLevelYcbcr = 8;

struct PluginSettings {
  int32_t SearchMarkerSupport;    /* search the first SOI when no container matches */
  int32_t ExifSupport;            /* read Exif: report and thumbnail */
  int32_t ExifPreviewLevel;       /* kPreviewLevel bits: thumbnail kinds usable as preview */
  int32_t DCTMethod;              /* 0 islow, 1 ifast, 2 float */
  int32_t DitherMode;             /* handed to the internal decoder */
  int32_t UpSampling;             /* kept and saved; nothing depends on it */
  int32_t UserDefineExtention;    /* offer ExtentionMask in GetPluginInfo */
  int32_t IgnorePixelAspectRatio; /* report square pixels */
  int32_t ColorSelect;            /* non-zero: internal decoder outputs grey */
  int32_t PreviewSize;            /* 0, 4 or 8 */
  int32_t ReportDialog;           /* show the broken-file prompt */
  int32_t UseInternalDecoder;     /* GetPicture may fall back to our decoder */
  int32_t ExifRotation;           /* turn plain JPEGs by the Exif orientation (with ExifSupport) */
  int32_t ColorManagement;        /* 0 as decoded, 1 to sRGB, 2 to the display's profile */
  char ExtentionMask[256];        /* user patterns, at most 255 characters */
  char JPEGPlugin[260];           /* wrapped plug-in: name or full path */
  int32_t J6ISupport;
  int32_t AspectX;
  int32_t AspectY;
  int32_t Top;    /* rows cut at the start of the bottom-up bits */
  int32_t Bottom; /* rows cut at the end of the bottom-up bits */
  int32_t Left;
  int32_t Right;
  int32_t PMPSupport;
  int32_t Rotation;
  int32_t ColorCorrect;
};

#endif /* MOVRELA_PLUGIN_SETTINGS_H */
