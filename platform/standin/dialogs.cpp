/*
 * dialogs.cpp - modal dialogs and their controls (buttons, check boxes,
 * edits, labels, combo boxes, up-down controls) and the file-open dialog, as
 * an in-memory model that a test's script drives (see win32.h for the
 * geometry rules and the hooks).
 *
 * An HWND points at a StandinWindow record: the desktop, a host window made
 * by StandinCreateHostWindow, a dialog or one of its controls. Records of
 * live windows are listed in g_live; a dialog that has ended is kept (as
 * g_retained) until the next one ends, so that tests can still read it.
 * Radio buttons and sorted lists are not modelled.
 * Messages go straight to the dialog procedure (SendMessageA) or to the
 * control's handler; notifications travel as on Windows, as WM_COMMAND from
 * the control to its dialog.
 */
#include "internal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

/* Characters a user may type into an edit before EM_LIMITTEXT. */
constexpr int kDefaultEditLimit = 32767;
/* EM_LIMITTEXT 0: as much as the system allows. */
constexpr int kMaxEditLimit = 0x7FFFFFFE;
/* Window frame of a dialog, in pixels (see win32.h). */
constexpr LONG kFrame = 3;
constexpr LONG kCaption = 19;

enum WindowKind { KindDesktop, KindHost, KindDialog, KindControl };
enum ControlClass { ClassButton, ClassEdit, ClassStatic, ClassComboBox, ClassUpDown };

}  // namespace

struct StandinWindow {
  WindowKind kind = KindControl;
  ControlClass cls = ClassStatic; /* controls only */
  int id = -1;
  std::string text;
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT rect = {}; /* top-level: on the screen; control: in the dialog's client area */
  bool enabled = true;
  StandinWindow *parent = nullptr; /* a control's dialog, a dialog's owner */

  /* controls */
  int check = BST_UNCHECKED;
  struct Item {
    std::string text;
    LPARAM data;
  };
  std::vector<Item> items;
  int selection = CB_ERR;
  int limit = kDefaultEditLimit;
  int position = 0;
  int lower = 100; /* Windows' initial up-down range runs from 100 down to 0 */
  int upper = 0;
  StandinWindow *buddy = nullptr;

  /* dialogs */
  DLGPROC proc = nullptr;
  std::vector<std::unique_ptr<StandinWindow>> controls;
  int templateId = -1;
  bool ended = false;
  INT_PTR result = 0;
  int moves = 0;
  int repaints = 0;
  bool ownerDisabled = false;          /* the owner is disabled while it runs */
  StandinWindow *finalFocus = nullptr; /* focus and foreground when it ended */
  bool finalForeground = false;
};

namespace {

StandinWindow g_desktop = [] {
  StandinWindow desktop;
  desktop.kind = KindDesktop;
  return desktop;
}();
LONG g_desktopWidth = 1024;
LONG g_desktopHeight = 768;
std::vector<StandinWindow *> g_live;
std::vector<std::unique_ptr<StandinWindow>> g_hosts;
std::unique_ptr<StandinWindow> g_retained;
StandinWindow *g_last = nullptr;
StandinWindow *g_focus = nullptr;
StandinWindow *g_foreground = nullptr;

StandinDialogScript g_script = nullptr;
void *g_scriptContext = nullptr;
StandinOpenFileScript g_openScript = nullptr;
void *g_openContext = nullptr;
bool g_failCreation = false;
bool g_upDownRegistered = true;
long g_created = 0;
int g_lastRequest = -1;
long g_openShown = 0;
DWORD g_commDlgError = 0;

bool IsLive(HWND window) {
  return window == &g_desktop ||
         (window && std::find(g_live.begin(), g_live.end(), window) != g_live.end());
}

/* A live window, or NULL with ERROR_INVALID_WINDOW_HANDLE. */
StandinWindow *Live(HWND window) {
  if (IsLive(window)) return window;
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return nullptr;
}

StandinWindow *LiveDialog(HWND window) {
  StandinWindow *w = Live(window);
  return w && w->kind == KindDialog ? w : nullptr;
}

/* A dialog for the observation hooks: live, or the one kept after its end. */
StandinWindow *KnownDialog(HWND window) {
  if (window && window == g_retained.get()) return window;
  return IsLive(window) && window->kind == KindDialog ? window : nullptr;
}

StandinWindow *FindControl(StandinWindow *dialog, int id) {
  for (auto &control : dialog->controls)
    if (control->id == id) return control.get();
  return nullptr;
}

LONG MulDivRound(LONG value, LONG numerator, LONG denominator) {
  long long product = static_cast<long long>(value) * numerator;
  long long half = denominator / 2;
  return static_cast<LONG>(product >= 0 ? (product + half) / denominator
                                        : (product - half) / denominator);
}

/* Dialog units to pixels: base units 6 x 13 (see win32.h). */
LONG UnitsToX(int units) { return MulDivRound(units, 6, 4); }
LONG UnitsToY(int units) { return MulDivRound(units, 13, 8); }

bool HasFrame(DWORD style) { return (style & (DS_MODALFRAME | WS_DLGFRAME | WS_BORDER)) != 0; }

/* Top-left corner of a window's client area on the screen. */
void ClientOrigin(const StandinWindow *w, LONG *x, LONG *y) {
  *x = w->rect.left;
  *y = w->rect.top;
  if (w->kind != KindDialog) return;
  if (HasFrame(w->style)) {
    *x += kFrame;
    *y += kFrame;
  }
  if ((w->style & WS_CAPTION) == WS_CAPTION) *y += kCaption;
}

LONG Width(const RECT &r) { return r.right - r.left; }
LONG Height(const RECT &r) { return r.bottom - r.top; }

bool IsButtonType(const StandinWindow *w, DWORD type) {
  return w->kind == KindControl && w->cls == ClassButton && (w->style & BS_TYPEMASK) == type;
}

bool IsPushButton(const StandinWindow *w) {
  return IsButtonType(w, BS_PUSHBUTTON) || IsButtonType(w, BS_DEFPUSHBUTTON);
}

/* Highest check state a button takes: 0 for those without one. */
int MaxCheck(const StandinWindow *w) {
  if (w->kind != KindControl || w->cls != ClassButton) return 0;
  switch (w->style & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
      return 1;
    case BS_3STATE:
    case BS_AUTO3STATE:
      return 2;
    default:
      return 0;
  }
}

/* WM_GETTEXT: at most bufMax - 1 bytes and a terminator; the bytes copied. */
LRESULT CopyText(const std::string &text, WPARAM bufMax, LPARAM buf) {
  char *out = reinterpret_cast<char *>(buf);
  if (!out || bufMax == 0) return 0;
  size_t n = std::min(text.size(), static_cast<size_t>(bufMax - 1));
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return static_cast<LRESULT>(n);
}

/* The text a control shows: a drop-down list shows its selected entry. */
std::string ShownText(const StandinWindow *w) {
  if (w->kind == KindControl && w->cls == ClassComboBox &&
      (w->style & CBS_DROPDOWNLIST) == CBS_DROPDOWNLIST)
    return w->selection >= 0 ? w->items[static_cast<size_t>(w->selection)].text : std::string();
  return w->text;
}

LRESULT SendToDialog(StandinWindow *dialog, UINT message, WPARAM wParam, LPARAM lParam);

void Notify(StandinWindow *control, int code) {
  SendToDialog(control->parent, WM_COMMAND, MAKEWPARAM(control->id, code),
               reinterpret_cast<LPARAM>(control));
}

/* The up-down's number as its buddy shows it, with thousands separators
 * unless UDS_NOTHOUSANDS. */
std::string UpDownText(const StandinWindow *updown) {
  std::string digits = std::to_string(updown->position < 0 ? -static_cast<long>(updown->position)
                                                           : updown->position);
  if (!(updown->style & UDS_NOTHOUSANDS))
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
      digits.insert(static_cast<size_t>(i), ",");
  return (updown->position < 0 ? "-" : "") + digits;
}

bool InRange(const StandinWindow *updown, long value) {
  return value >= std::min(updown->lower, updown->upper) &&
         value <= std::max(updown->lower, updown->upper);
}

LRESULT SendToWindow(StandinWindow *w, UINT message, WPARAM wParam, LPARAM lParam);

void ShowInBuddy(StandinWindow *updown) {
  if ((updown->style & UDS_SETBUDDYINT) && updown->buddy && IsLive(updown->buddy)) {
    std::string text = UpDownText(updown);
    SendToWindow(updown->buddy, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
}

/* Takes the position from the buddy's number (UDS_SETBUDDYINT). False when
 * the text is no number in the range; the position then stays. */
bool ReadBuddy(StandinWindow *updown) {
  if (!(updown->style & UDS_SETBUDDYINT) || !updown->buddy || !IsLive(updown->buddy)) return false;
  std::string text;
  for (char c : ShownText(updown->buddy))
    if (c != ',') text += c;
  errno = 0;
  char *end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || !InRange(updown, value)) return false;
  updown->position = static_cast<int>(value);
  return true;
}

LRESULT ButtonMessage(StandinWindow *w, UINT message, WPARAM wParam) {
  switch (message) {
    case BM_GETCHECK:
      return w->check;
    case BM_SETCHECK:
      if (MaxCheck(w) > 0) w->check = std::min(static_cast<int>(wParam), MaxCheck(w));
      return 0;
  }
  return 0;
}

LRESULT ComboMessage(StandinWindow *w, UINT message, WPARAM wParam, LPARAM lParam) {
  int count = static_cast<int>(w->items.size());
  int index = static_cast<int>(static_cast<INT_PTR>(wParam));
  bool valid = index >= 0 && index < count;
  switch (message) {
    case CB_ADDSTRING: /* the list keeps the order of adding (no CBS_SORT) */
      w->items.push_back({lParam ? reinterpret_cast<const char *>(lParam) : "", 0});
      return count;
    case CB_GETCOUNT:
      return count;
    case CB_GETCURSEL:
      return w->selection;
    case CB_SETCURSEL:
      /* An index out of range (or -1) removes the selection. */
      w->selection = valid ? index : CB_ERR;
      if (valid && (w->style & CBS_DROPDOWNLIST) != CBS_DROPDOWNLIST)
        w->text = w->items[static_cast<size_t>(index)].text;
      return valid ? index : CB_ERR;
    case CB_GETITEMDATA:
      return valid ? w->items[static_cast<size_t>(index)].data : CB_ERR;
    case CB_SETITEMDATA:
      if (!valid) return CB_ERR;
      w->items[static_cast<size_t>(index)].data = lParam;
      return TRUE;
    case CB_GETLBTEXTLEN:
      return valid ? static_cast<LRESULT>(w->items[static_cast<size_t>(index)].text.size())
                   : CB_ERR;
    case CB_GETLBTEXT: {
      if (!valid) return CB_ERR;
      const std::string &text = w->items[static_cast<size_t>(index)].text;
      if (lParam) std::memcpy(reinterpret_cast<char *>(lParam), text.c_str(), text.size() + 1);
      return static_cast<LRESULT>(text.size());
    }
  }
  return 0;
}

LRESULT UpDownMessage(StandinWindow *w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case UDM_SETRANGE: /* MAKELONG(upper, lower); the position is left alone */
      w->upper = static_cast<SHORT>(LOWORD(lParam));
      w->lower = static_cast<SHORT>(HIWORD(lParam));
      return 0;
    case UDM_GETRANGE:
      return MAKELONG(w->upper, w->lower);
    case UDM_SETPOS: {
      /* Clamped to the nearer end of the range (Wine 8 differs while the
       * initial reversed range is in force). */
      int previous = w->position;
      int wanted = static_cast<SHORT>(LOWORD(lParam));
      w->position =
          std::max(std::min(wanted, std::max(w->lower, w->upper)), std::min(w->lower, w->upper));
      ShowInBuddy(w);
      return previous;
    }
    case UDM_GETPOS: {
      /* With a number-showing buddy the buddy's text is the position; the
       * high word flags a text that is no number in the range. */
      bool error = (w->style & UDS_SETBUDDYINT) && w->buddy && !ReadBuddy(w);
      return MAKELONG(w->position, error ? 1 : 0);
    }
    case UDM_SETBUDDY: {
      StandinWindow *previous = w->buddy;
      w->buddy = reinterpret_cast<HWND>(wParam);
      return reinterpret_cast<LRESULT>(previous);
    }
    case UDM_GETBUDDY:
      return reinterpret_cast<LRESULT>(w->buddy);
  }
  return 0;
}

LRESULT ControlMessage(StandinWindow *w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT:
      if (w->cls == ClassComboBox && (w->style & CBS_DROPDOWNLIST) == CBS_DROPDOWNLIST)
        return CB_ERR;
      w->text = lParam ? reinterpret_cast<const char *>(lParam) : "";
      /* A single-line edit reports every change, also one made by the program. */
      if (w->cls == ClassEdit && !(w->style & ES_MULTILINE)) Notify(w, EN_CHANGE);
      return TRUE;
    case WM_GETTEXT:
      return CopyText(ShownText(w), wParam, lParam);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(ShownText(w).size());
  }
  switch (w->cls) {
    case ClassButton:
      return ButtonMessage(w, message, wParam);
    case ClassEdit:
      if (message == EM_LIMITTEXT)
        w->limit = wParam == 0 || wParam > static_cast<WPARAM>(kMaxEditLimit)
                       ? kMaxEditLimit
                       : static_cast<int>(wParam);
      return message == EM_GETLIMITTEXT ? w->limit : 0;
    case ClassComboBox:
      return ComboMessage(w, message, wParam, lParam);
    case ClassUpDown:
      return UpDownMessage(w, message, wParam, lParam);
    case ClassStatic:
      break;
  }
  return 0;
}

StandinWindow *DefaultButton(StandinWindow *dialog) {
  for (auto &control : dialog->controls)
    if (IsButtonType(control.get(), BS_DEFPUSHBUTTON)) return control.get();
  return nullptr;
}

/* The dialog procedure first; what it leaves goes to the default handling. */
LRESULT SendToDialog(StandinWindow *dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR handled = dialog->proc ? dialog->proc(dialog, message, wParam, lParam) : 0;
  if (handled || !IsLive(dialog)) return handled;
  switch (message) {
    case WM_SETTEXT:
      dialog->text = lParam ? reinterpret_cast<const char *>(lParam) : "";
      return TRUE;
    case WM_GETTEXT:
      return CopyText(dialog->text, wParam, lParam);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(dialog->text.size());
    case DM_GETDEFID: {
      StandinWindow *def = DefaultButton(dialog);
      return def ? MAKELONG(def->id, DC_HASDEFID) : 0;
    }
    case WM_CLOSE: {
      /* As the Cancel button, unless that button is disabled. */
      StandinWindow *cancel = FindControl(dialog, IDCANCEL);
      if (!cancel || cancel->enabled)
        SendToDialog(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(cancel));
      return 0;
    }
  }
  return 0;
}

LRESULT SendToWindow(StandinWindow *w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (w->kind) {
    case KindDialog:
      return SendToDialog(w, message, wParam, lParam);
    case KindControl:
      return ControlMessage(w, message, wParam, lParam);
    case KindDesktop:
    case KindHost:
      break;
  }
  if (message == WM_GETTEXT) return CopyText(w->text, wParam, lParam);
  if (message == WM_GETTEXTLENGTH) return static_cast<LRESULT>(w->text.size());
  if (message == WM_SETTEXT) {
    w->text = lParam ? reinterpret_cast<const char *>(lParam) : "";
    return TRUE;
  }
  return 0;
}

bool ClassOf(const char *name, ControlClass *cls) {
  static const struct {
    const char *name;
    ControlClass cls;
  } kClasses[] = {{"Button", ClassButton},
                  {"Edit", ClassEdit},
                  {"Static", ClassStatic},
                  {"ComboBox", ClassComboBox},
                  {UPDOWN_CLASSA, ClassUpDown}};
  for (const auto &known : kClasses) {
    if (name && lstrcmpiA(name, known.name) == 0) {
      if (known.cls == ClassUpDown && !g_upDownRegistered) return false;
      *cls = known.cls;
      return true;
    }
  }
  return false;
}

/* The table entry that begins template `id` of `inst`, or NULL with the
 * error Windows gives. */
const StandinDialogEntry *FindTemplate(HINSTANCE inst, int id) {
  FARPROC symbol = GetProcAddress(inst, "StandinDialogTable");
  if (!symbol) {
    if (GetLastError() != ERROR_INVALID_HANDLE) SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  auto *entry = reinterpret_cast<const StandinDialogEntry *>(symbol);
  for (; entry->kind != StandinTableEnd; ++entry) {
    if ((entry->kind == StandinDialogBegin || entry->kind == StandinDialogExBegin) &&
        entry->id == id && id >= 0)
      return entry;
  }
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return nullptr;
}

/* The dialog window and its controls, placed as win32.h describes. NULL with
 * ERROR_CANNOT_FIND_WND_CLASS when a control's class does not exist. */
std::unique_ptr<StandinWindow> Build(const StandinDialogEntry *entry, StandinWindow *owner) {
  auto dialog = std::make_unique<StandinWindow>();
  dialog->kind = KindDialog;
  dialog->templateId = entry->id;
  dialog->text = entry->text ? entry->text : "";
  dialog->style = entry->style;
  dialog->exStyle = entry->exStyle;
  dialog->parent = owner;
  dialog->enabled = !(entry->style & WS_DISABLED);

  LONG width = UnitsToX(entry->cx);
  LONG height = UnitsToY(entry->cy);
  if (HasFrame(entry->style)) {
    width += 2 * kFrame;
    height += 2 * kFrame;
  }
  if ((entry->style & WS_CAPTION) == WS_CAPTION) height += kCaption;
  LONG left = 0, top = 0;
  if (owner) ClientOrigin(owner, &left, &top);
  left += UnitsToX(entry->x);
  top += UnitsToY(entry->y);
  if (entry->style & DS_CENTER) {
    left = (g_desktopWidth - width) / 2;
    top = (g_desktopHeight - height) / 2;
  }
  left = std::max<LONG>(0, std::min(left, g_desktopWidth - width));
  top = std::max<LONG>(0, std::min(top, g_desktopHeight - height));
  dialog->rect = {left, top, left + width, top + height};

  for (const StandinDialogEntry *item = entry + 1; item->kind == StandinDialogControl; ++item) {
    auto control = std::make_unique<StandinWindow>();
    control->kind = KindControl;
    if (!ClassOf(item->className, &control->cls)) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    control->id = item->id;
    control->text = item->text ? item->text : "";
    control->style = item->style;
    control->exStyle = item->exStyle;
    control->enabled = !(item->style & WS_DISABLED);
    control->parent = dialog.get();
    LONG x = UnitsToX(item->x), y = UnitsToY(item->y);
    control->rect = {x, y, x + UnitsToX(item->cx), y + UnitsToY(item->cy)};
    if (control->cls == ClassUpDown && (item->style & UDS_AUTOBUDDY) && !dialog->controls.empty())
      control->buddy = dialog->controls.back().get(); /* the control before it */
    dialog->controls.push_back(std::move(control));
  }
  return dialog;
}

/* The control WM_INITDIALOG offers for the focus: the first enabled, visible
 * tab stop. */
StandinWindow *FirstTabStop(StandinWindow *dialog) {
  for (auto &control : dialog->controls)
    if ((control->style & (WS_TABSTOP | WS_VISIBLE)) == (WS_TABSTOP | WS_VISIBLE) &&
        control->enabled)
      return control.get();
  return nullptr;
}

bool BelongsTo(const StandinWindow *w, const StandinWindow *dialog) {
  return w && (w == dialog || (w->kind == KindControl && w->parent == dialog));
}

/* A control of a dialog still open, that the user can reach. */
StandinWindow *UserTarget(HWND dialog, int id, ControlClass cls) {
  StandinWindow *d = IsLive(dialog) && dialog->kind == KindDialog ? dialog : nullptr;
  if (!d || d->ended) return nullptr;
  StandinWindow *control = FindControl(d, id);
  return control && control->cls == cls && control->enabled ? control : nullptr;
}

StandinWindow *OpenDialog(HWND dialog) {
  return IsLive(dialog) && dialog->kind == KindDialog && !dialog->ended ? dialog : nullptr;
}

/* Enables the owner again, as EndDialog does. */
void ReleaseOwner(StandinWindow *dialog) {
  if (dialog->ownerDisabled && IsLive(dialog->parent)) dialog->parent->enabled = true;
  dialog->ownerDisabled = false;
}

void Unlist(StandinWindow *w) {
  g_live.erase(std::remove(g_live.begin(), g_live.end(), w), g_live.end());
}

}  // namespace

/* ---- dialogs ---- */

INT_PTR DialogBoxParamA(HINSTANCE inst, LPCSTR templateName, HWND owner, DLGPROC proc,
                        LPARAM param) {
  int id = HIWORD(templateName) == 0 ? LOWORD(templateName) : -1;
  g_lastRequest = id;
  if (g_failCreation) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return -1;
  }
  StandinWindow *ownerWindow = nullptr;
  if (owner) {
    if (!Live(owner)) return 0; /* as Windows: an invalid owner gives 0 */
    ownerWindow = owner->kind == KindControl ? owner->parent : owner;
    if (ownerWindow == &g_desktop) ownerWindow = nullptr;
  }
  const StandinDialogEntry *entry = FindTemplate(inst, id);
  if (!entry) return -1;
  std::unique_ptr<StandinWindow> made = Build(entry, ownerWindow);
  if (!made) return -1;

  StandinWindow *dialog = made.get();
  dialog->proc = proc;
  g_live.push_back(dialog);
  for (auto &control : dialog->controls) g_live.push_back(control.get());
  ++g_created;
  g_last = dialog;
  StandinWindow *focusBefore = g_focus;
  StandinWindow *foregroundBefore = g_foreground;
  if (ownerWindow && ownerWindow->enabled) {
    ownerWindow->enabled = false;
    dialog->ownerDisabled = true;
  }
  if (dialog->style & DS_SETFOREGROUND) g_foreground = dialog;

  StandinWindow *first = FirstTabStop(dialog);
  if (SendToDialog(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param) &&
      !dialog->ended && first)
    g_focus = first;
  if (!dialog->ended && g_script) g_script(dialog, g_scriptContext);

  INT_PTR result = dialog->result;
  if (!dialog->ended) {
    std::fprintf(stderr, "win32standin: dialog %d left open by the test's script\n", id);
    result = -1;
  }
  dialog->finalFocus = BelongsTo(g_focus, dialog) ? g_focus : nullptr;
  dialog->finalForeground = g_foreground == dialog;
  if (BelongsTo(g_focus, dialog)) g_focus = IsLive(focusBefore) ? focusBefore : nullptr;
  if (g_foreground == dialog) g_foreground = IsLive(foregroundBefore) ? foregroundBefore : nullptr;
  ReleaseOwner(dialog);
  for (auto &control : dialog->controls) Unlist(control.get());
  Unlist(dialog);
  g_retained = std::move(made);
  g_last = dialog;
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  StandinWindow *d = LiveDialog(dialog);
  if (!d) return FALSE;
  d->ended = true;
  d->result = result;
  ReleaseOwner(d);
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  StandinWindow *d = LiveDialog(dialog);
  if (!d) return nullptr;
  StandinWindow *control = FindControl(d, id);
  if (!control) SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return control;
}

int GetDlgCtrlID(HWND window) {
  StandinWindow *w = Live(window);
  return w && w->kind == KindControl ? w->id : 0;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  StandinWindow *w = Live(window);
  return w ? SendToWindow(w, message, wParam, lParam) : 0;
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND control = GetDlgItem(dialog, id);
  return control ? SendToWindow(control, message, wParam, lParam) : 0;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  return SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) > 0;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buf, int bufMax) {
  if (buf && bufMax > 0) buf[0] = '\0';
  if (bufMax <= 0) return 0;
  return static_cast<UINT>(SendDlgItemMessageA(dialog, id, WM_GETTEXT, static_cast<WPARAM>(bufMax),
                                               reinterpret_cast<LPARAM>(buf)));
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
  char text[16];
  if (isSigned)
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
  else
    std::snprintf(text, sizeof text, "%u", value);
  return SetDlgItemTextA(dialog, id, text);
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL *translated, BOOL isSigned) {
  if (translated) *translated = FALSE;
  HWND control = GetDlgItem(dialog, id);
  if (!control) return 0;
  std::string text = ShownText(control);
  const char *p = text.c_str();
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '-' && isSigned) {
    negative = true;
    ++p;
  }
  if (*p < '0' || *p > '9') return 0;
  unsigned long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + static_cast<unsigned>(*p - '0');
    if (value > 0xFFFFFFFFull) return 0;
  }
  while (*p == ' ' || *p == '\t') ++p;
  if (*p != '\0') return 0;
  if (isSigned && value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return 0;
  if (translated) *translated = TRUE;
  return negative ? static_cast<UINT>(0u - static_cast<UINT>(value)) : static_cast<UINT>(value);
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  HWND control = GetDlgItem(dialog, id);
  if (!control) return FALSE;
  SendToWindow(control, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control ? static_cast<UINT>(SendToWindow(control, BM_GETCHECK, 0, 0)) : 0;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) > 0;
}

int GetWindowTextA(HWND window, LPSTR buf, int bufMax) {
  if (buf && bufMax > 0) buf[0] = '\0';
  if (bufMax <= 0) return 0;
  return static_cast<int>(
      SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(bufMax), reinterpret_cast<LPARAM>(buf)));
}

/* ---- window state ---- */

BOOL EnableWindow(HWND window, BOOL enable) {
  StandinWindow *w = Live(window);
  if (!w) return FALSE;
  BOOL wasDisabled = w->enabled ? FALSE : TRUE;
  w->enabled = enable != FALSE;
  if (!enable && g_focus == w) g_focus = nullptr; /* a disabled window loses the focus */
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) {
  StandinWindow *w = Live(window);
  return w && w->enabled ? TRUE : FALSE;
}

BOOL IsWindow(HWND window) { return IsLive(window) ? TRUE : FALSE; }

HWND SetFocus(HWND window) {
  if (window && !Live(window)) return nullptr;
  StandinWindow *previous = g_focus;
  g_focus = window;
  return previous;
}

HWND GetFocus(void) { return g_focus; }

BOOL SetForegroundWindow(HWND window) {
  StandinWindow *w = Live(window);
  if (!w) return FALSE;
  while (w->kind == KindControl) w = w->parent;
  g_foreground = w;
  return TRUE;
}

HWND GetForegroundWindow(void) { return g_foreground; }

HWND GetParent(HWND window) {
  StandinWindow *w = Live(window);
  return w ? w->parent : nullptr;
}

HWND GetDesktopWindow(void) { return &g_desktop; }

BOOL GetWindowRect(HWND window, LPRECT rect) {
  StandinWindow *w = Live(window);
  if (!w || !rect) return FALSE;
  if (w == &g_desktop) {
    *rect = {0, 0, g_desktopWidth, g_desktopHeight};
  } else if (w->kind == KindControl) {
    LONG x, y;
    ClientOrigin(w->parent, &x, &y);
    *rect = {w->rect.left + x, w->rect.top + y, w->rect.right + x, w->rect.bottom + y};
  } else {
    *rect = w->rect;
  }
  return TRUE;
}

BOOL SetWindowPos(HWND window, HWND /*insertAfter*/, int x, int y, int cx, int cy, UINT flags) {
  StandinWindow *w = Live(window);
  if (!w || w == &g_desktop) return FALSE;
  if ((flags & (SWP_NOMOVE | SWP_NOSIZE)) == (SWP_NOMOVE | SWP_NOSIZE)) return TRUE;
  RECT &r = w->rect;
  LONG width = (flags & SWP_NOSIZE) ? Width(r) : cx;
  LONG height = (flags & SWP_NOSIZE) ? Height(r) : cy;
  if (!(flags & SWP_NOMOVE)) {
    r.left = x;
    r.top = y;
  }
  r.right = r.left + width;
  r.bottom = r.top + height;
  ++w->moves;
  if (!(flags & SWP_NOREDRAW)) ++w->repaints;
  return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(window, nullptr, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0u : SWP_NOREDRAW));
}

/* ---- file-open dialog ---- */

BOOL GetOpenFileNameA(LPOPENFILENAMEA request) {
  g_commDlgError = 0;
  if (!request ||
      (request->lStructSize != 76 && request->lStructSize != OPENFILENAME_SIZE_VERSION_400A &&
       request->lStructSize != sizeof(OPENFILENAMEA))) {
    g_commDlgError = CDERR_STRUCTSIZE;
    return FALSE;
  }
  if (request->hwndOwner && !IsLive(request->hwndOwner)) {
    g_commDlgError = CDERR_DIALOGFAILURE;
    return FALSE;
  }
  ++g_openShown;
  StandinWindow *owner = request->hwndOwner;
  bool ownerWasEnabled = owner && owner->enabled;
  if (ownerWasEnabled) owner->enabled = false;
  const char *answer = g_openScript ? g_openScript(request, g_openContext) : nullptr;
  if (ownerWasEnabled && IsLive(owner)) owner->enabled = true;
  if (!answer) return FALSE; /* cancelled: no error */

  size_t length = std::strlen(answer);
  if (!request->lpstrFile || length + 1 > request->nMaxFile) {
    /* Too small: the first two bytes tell the size needed. */
    if (request->lpstrFile && request->nMaxFile >= 2) {
      WORD needed = static_cast<WORD>(length + 1);
      std::memcpy(request->lpstrFile, &needed, sizeof needed);
    }
    g_commDlgError = FNERR_BUFFERTOOSMALL;
    return FALSE;
  }
  std::memcpy(request->lpstrFile, answer, length + 1);
  const char *name = answer;
  for (const char *p = answer; *p; ++p)
    if (*p == '\\' || *p == '/') name = p + 1;
  const char *dot = std::strrchr(name, '.');
  request->nFileOffset = static_cast<WORD>(name - answer);
  request->nFileExtension = static_cast<WORD>(dot ? dot + 1 - answer : static_cast<long>(length));
  if (request->lpstrFileTitle && request->nMaxFileTitle > std::strlen(name))
    std::memcpy(request->lpstrFileTitle, name, std::strlen(name) + 1);
  return TRUE;
}

DWORD CommDlgExtendedError(void) { return g_commDlgError; }

/* ---- the user's actions ---- */

extern "C" {

void StandinSetDialogScript(StandinDialogScript script, void *context) {
  g_script = script;
  g_scriptContext = context;
}

BOOL StandinClick(HWND dialog, int id) {
  StandinWindow *button = UserTarget(dialog, id, ClassButton);
  if (!button || IsButtonType(button, BS_GROUPBOX)) return FALSE;
  g_focus = button;
  switch (button->style & BS_TYPEMASK) {
    case BS_AUTOCHECKBOX:
      button->check = button->check == BST_UNCHECKED ? BST_CHECKED : BST_UNCHECKED;
      break;
    case BS_AUTO3STATE:
      button->check = (button->check + 1) % 3;
      break;
  }
  Notify(button, BN_CLICKED);
  return TRUE;
}

BOOL StandinType(HWND dialog, int id, const char *text) {
  StandinWindow *edit = UserTarget(dialog, id, ClassEdit);
  if (!edit || (edit->style & ES_READONLY)) return FALSE;
  g_focus = edit;
  std::string typed = text ? text : "";
  typed.resize(std::min(typed.size(), static_cast<size_t>(edit->limit)));
  edit->text = typed;
  Notify(edit, EN_CHANGE);
  return TRUE;
}

BOOL StandinSelect(HWND dialog, int id, int index) {
  StandinWindow *combo = UserTarget(dialog, id, ClassComboBox);
  if (!combo || index < 0 || index >= static_cast<int>(combo->items.size())) return FALSE;
  g_focus = combo;
  ComboMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  Notify(combo, CBN_SELCHANGE);
  return TRUE;
}

BOOL StandinSpin(HWND dialog, int id, int up) {
  StandinWindow *updown = UserTarget(dialog, id, ClassUpDown);
  if (!updown) return FALSE;
  ReadBuddy(updown);
  int low = std::min(updown->lower, updown->upper);
  int high = std::max(updown->lower, updown->upper);
  int step = (up ? 1 : -1) * (updown->upper < updown->lower ? -1 : 1);
  int next = updown->position + step;
  if (next > high) next = (updown->style & UDS_WRAP) ? low : high;
  if (next < low) next = (updown->style & UDS_WRAP) ? high : low;
  if (next == updown->position) return TRUE;
  updown->position = next;
  ShowInBuddy(updown);
  SendToDialog(updown->parent, (updown->style & UDS_HORZ) ? WM_HSCROLL : WM_VSCROLL,
               MAKEWPARAM(SB_THUMBPOSITION, next), reinterpret_cast<LPARAM>(updown));
  return TRUE;
}

BOOL StandinPressEscape(HWND dialog) {
  StandinWindow *d = OpenDialog(dialog);
  if (!d) return FALSE;
  SendToDialog(d, WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(FindControl(d, IDCANCEL)));
  return TRUE;
}

BOOL StandinPressEnter(HWND dialog) {
  StandinWindow *d = OpenDialog(dialog);
  if (!d) return FALSE;
  StandinWindow *target = nullptr;
  int id = IDOK;
  if (BelongsTo(g_focus, d) && IsPushButton(g_focus)) {
    target = g_focus;
  } else if (StandinWindow *def = DefaultButton(d)) {
    if (!def->enabled) return TRUE; /* a disabled default button ignores Enter */
    target = def;
  } else {
    target = FindControl(d, IDOK);
  }
  if (target) id = target->id;
  SendToDialog(d, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(target));
  return TRUE;
}

BOOL StandinPressCloseBox(HWND dialog) {
  StandinWindow *d = OpenDialog(dialog);
  if (!d || !(d->style & WS_SYSMENU)) return FALSE; /* no system menu: no close box */
  SendToDialog(d, WM_CLOSE, 0, 0);
  return TRUE;
}

/* ---- observation ---- */

BOOL StandinGetDialogState(HWND dialog, StandinDialogState *state) {
  StandinWindow *d = KnownDialog(dialog);
  if (!d || !state) return FALSE;
  bool live = IsLive(d);
  state->templateId = d->templateId;
  state->ended = d->ended ? TRUE : FALSE;
  state->result = d->result;
  state->rect = d->rect;
  state->owner = d->parent;
  state->focus = live ? (BelongsTo(g_focus, d) ? g_focus : nullptr) : d->finalFocus;
  state->foreground = (live ? g_foreground == d : d->finalForeground) ? TRUE : FALSE;
  state->moves = d->moves;
  state->repaints = d->repaints;
  return TRUE;
}

BOOL StandinGetControlState(HWND dialog, int id, StandinControlState *state) {
  StandinWindow *d = KnownDialog(dialog);
  StandinWindow *c = d ? FindControl(d, id) : nullptr;
  if (!c || !state) return FALSE;
  state->style = c->style;
  state->enabled = c->enabled ? TRUE : FALSE;
  state->check = c->check;
  state->selection = c->selection;
  state->count = static_cast<int>(c->items.size());
  state->position = c->position;
  state->lower = c->lower;
  state->upper = c->upper;
  state->buddy = c->buddy;
  state->limit = c->limit;
  return TRUE;
}

int StandinGetControlText(HWND dialog, int id, char *buf, int bufMax) {
  StandinWindow *d = KnownDialog(dialog);
  StandinWindow *c = d ? FindControl(d, id) : nullptr;
  if (!c) return -1;
  std::string text = ShownText(c);
  if (buf && bufMax > 0) CopyText(text, static_cast<WPARAM>(bufMax), reinterpret_cast<LPARAM>(buf));
  return static_cast<int>(text.size());
}

HWND StandinLastDialog(void) { return g_last; }

long StandinDialogsCreated(void) { return g_created; }

int StandinLastDialogRequest(void) { return g_lastRequest; }

/* ---- steering ---- */

void StandinFailDialogCreation(int fail) { g_failCreation = fail != 0; }

void StandinSetUpDownClassRegistered(int registered) { g_upDownRegistered = registered != 0; }

void StandinSetDesktopSize(int width, int height) {
  g_desktopWidth = width;
  g_desktopHeight = height;
}

HWND StandinCreateHostWindow(int left, int top, int right, int bottom) {
  auto host = std::make_unique<StandinWindow>();
  host->kind = KindHost;
  host->style = WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE;
  host->rect = {left, top, right, bottom};
  StandinWindow *w = host.get();
  g_hosts.push_back(std::move(host));
  g_live.push_back(w);
  return w;
}

void StandinDestroyHostWindow(HWND window) {
  auto found = std::find_if(
      g_hosts.begin(), g_hosts.end(),
      [window](const std::unique_ptr<StandinWindow> &host) { return host.get() == window; });
  if (found == g_hosts.end()) return;
  if (g_focus == window) g_focus = nullptr;
  if (g_foreground == window) g_foreground = nullptr;
  Unlist(window);
  g_hosts.erase(found);
}

void StandinSetOpenFileScript(StandinOpenFileScript script, void *context) {
  g_openScript = script;
  g_openContext = context;
}

long StandinOpenFileDialogsShown(void) { return g_openShown; }

void StandinResetDialogs(void) {
  g_script = nullptr;
  g_scriptContext = nullptr;
  g_openScript = nullptr;
  g_openContext = nullptr;
  g_failCreation = false;
  g_upDownRegistered = true;
  g_desktopWidth = 1024;
  g_desktopHeight = 768;
  if (g_last == g_retained.get()) g_last = nullptr;
  g_retained.reset();
  g_commDlgError = 0;
}

}  // extern "C"
