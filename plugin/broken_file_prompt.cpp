/*
 * broken_file_prompt.cpp - the broken-file prompt and its dialog procedure.
 */
#include "plugin/broken_file_prompt.h"

#include <cstdint>

#include "base/module_state.h"
#include "resources/resource.h"
#include "settings/settings.h"

namespace {

/* The prompt's message is loaded into a buffer of this size. */
constexpr int kMessageBuffer = 256;

/* Resource id of the English resource `base`, or of its Japanese twin. */
int ForHostLanguage(int base) { return base + (IsHostJapanese() ? 1 : 0); }

/* Places the dialog in the middle of the desktop, keeping its size, without
 * repainting. */
void CentreOnDesktop(HWND dialog) {
  RECT desktop, window;
  GetWindowRect(GetDesktopWindow(), &desktop);
  GetWindowRect(dialog, &window);
  int width = window.right - window.left;
  int height = window.bottom - window.top;
  int left = ((desktop.right - desktop.left) - width) / 2;
  int top = ((desktop.bottom - desktop.top) - height) / 2;
  MoveWindow(dialog, left, top, width, height, FALSE);
}

/* The user turned the warning off: ReportDialog = 0 in the main key. */
void StopWarning() {
  char keyPath[kSettingNameBuffer];
  char valueName[kSettingNameBuffer];
  LoadStringA(ModuleInstance(), IDS_KEY_MAIN, keyPath, sizeof keyPath);
  LoadStringA(ModuleInstance(), IDS_REPORT_DIALOG, valueName, sizeof valueName);
  int32_t off = 0;
  WriteSetting(HKEY_CURRENT_USER, keyPath, valueName, SettingNumber, &off, sizeof off);
}

INT_PTR CALLBACK BrokenFileDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG: {
      char text[kMessageBuffer];
      LoadStringA(ModuleInstance(), ForHostLanguage(IDS_BROKEN_FILE), text, sizeof text);
      SetDlgItemTextA(dialog, IDC_BROKEN_FILE_TEXT, text);
      CheckDlgButton(dialog, IDC_BROKEN_FILE_WARN, BST_CHECKED);
      CentreOnDesktop(dialog);
      SetForegroundWindow(dialog);
      SetFocus(GetDlgItem(dialog, IDOK));
      return FALSE; /* the focus is set */
    }
    case WM_COMMAND: {
      /* Esc and the close box arrive as IDCANCEL, the No button's id. */
      int id = LOWORD(wParam);
      if (id != IDOK && id != IDCANCEL) return FALSE;
      if (!IsDlgButtonChecked(dialog, IDC_BROKEN_FILE_WARN)) StopWarning();
      EndDialog(dialog, id == IDOK ? 1 : 2);
      return TRUE;
    }
  }
  return FALSE;
}

}  // namespace

int BrokenFilePrompt() {
  LPCSTR dialog = MAKEINTRESOURCEA(ForHostLanguage(IDD_BROKEN_FILE));
  INT_PTR answer = DialogBoxParamA(ModuleInstance(), dialog, nullptr, BrokenFileDialogProc, 0);
  return answer == 1 ? 1 : 2;
}
