/*
 * dialog_table.cpp - the module's dialog templates for the native build,
 * where the platform stand-in's DialogBoxParamA reads them from this
 * exported table. The Windows build compiles the same templates from
 * movrela.rc instead.
 */
#include "platform.h"
#include "resource.h"

#define DIALOG_BEGIN(id, x, y, width, height, style, exStyle, caption, pointSize, font)      \
  {StandinDialogBegin, id, caption, nullptr, style, exStyle, x, y, width, height, pointSize, \
   font},
#define DIALOGEX_BEGIN(id, x, y, width, height, style, exStyle, caption, pointSize, font)      \
  {StandinDialogExBegin, id, caption, nullptr, style, exStyle, x, y, width, height, pointSize, \
   font},
#define CONTROL_ITEM(text, id, cls, style, x, y, width, height, exStyle) \
  {StandinDialogControl, id, text, cls, style, exStyle, x, y, width, height, 0, nullptr},
#define DIALOG_END {StandinDialogEnd, 0, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr},

extern "C" const StandinDialogEntry StandinDialogTable[] = {
#include "dialogs.inc"
    {StandinTableEnd, 0, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr},
};
