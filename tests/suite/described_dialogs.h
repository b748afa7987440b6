/*
 * described_dialogs.h - the dialog templates as resources/dialogs.inc
 * describes them: each dialog's entry followed by its controls' entries,
 * for the suites that compare them with what Windows made of them.
 */
#ifndef MOVRELA_TEST_DESCRIBED_DIALOGS_H
#define MOVRELA_TEST_DESCRIBED_DIALOGS_H

#include "platform.h"
#include "resources/resource.h"

struct Described {
  bool dialog; /* a template's first entry, else a control */
  bool extended;
  int id;
  const char *text;
  const char *cls;
  DWORD style, exStyle;
  short x, y, cx, cy;
  WORD pointSize;
  const char *font;
};
#define DIALOG_BEGIN(id, x, y, w, h, style, ex, caption, pt, font) \
  {true, false, id, caption, nullptr, style, ex, x, y, w, h, pt, font},
#define DIALOGEX_BEGIN(id, x, y, w, h, style, ex, caption, pt, font) \
  {true, true, id, caption, nullptr, style, ex, x, y, w, h, pt, font},
#define CONTROL_ITEM(text, id, cls, style, x, y, w, h, ex) \
  {false, false, id, text, cls, style, ex, x, y, w, h, 0, nullptr},
#define DIALOG_END
const Described kDescribed[] = {
#include "resources/dialogs.inc"
};
#undef DIALOG_BEGIN
#undef DIALOGEX_BEGIN
#undef CONTROL_ITEM
#undef DIALOG_END

#endif /* MOVRELA_TEST_DESCRIBED_DIALOGS_H */
