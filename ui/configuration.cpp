/*
 * configuration.cpp - ConfigurationDlg, dialog selection and the About
 * dialog.
 */
#include "ui/configuration.h"

#include <cstring>

#include "base/module_state.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "ui/settings_dialog.h"

namespace {

/* String 1 is loaded into a buffer of this size. */
constexpr int kVersionBuffer = 60;
constexpr char kVersionPrefix[] = "Ver ";

}  // namespace

int SelectDialogId(int baseId) {
  int id = baseId + (IsHostJapanese() ? 1 : 0);
  if (baseId == IDD_SETTINGS && !UsesRegistry()) id += 2;
  return id;
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG: {
      char version[kVersionBuffer];
      if (LoadStringA(ModuleInstance(), IDS_VERSION, version, sizeof version) <= 0) version[0] = 0;
      char line[sizeof kVersionPrefix + kVersionBuffer];
      std::memcpy(line, kVersionPrefix, sizeof kVersionPrefix);
      std::strcat(line, version);
      SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, line);
      SetFocus(GetDlgItem(dialog, IDOK));
      return FALSE; /* the focus is set */
    }
    case WM_COMMAND:
      /* Esc arrives as IDCANCEL and is left alone: only OK closes. */
      if (LOWORD(wParam) != IDOK) return FALSE;
      EndDialog(dialog, 1);
      return TRUE;
  }
  return FALSE;
}

PLUGIN_EXPORT int32_t WINAPI ConfigurationDlg(HWND parent, int32_t function) {
  switch (function) {
    case 0:
      DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(SelectDialogId(IDD_ABOUT)), parent,
                      AboutDialogProc, 0);
      return Success;
    case 1: {
      int id = SelectDialogId(IDD_SETTINGS);
      /* The dialog edits this record and saves it on OK; Cancel drops it. */
      PluginSettings settings;
      LoadSettings(ModuleInstance(), &settings);
      DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(id), parent, SettingsDialogProc,
                      reinterpret_cast<LPARAM>(&settings));
      return Success;
    }
  }
  return NotImplemented;
}
