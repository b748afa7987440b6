/*
 * settings_dialog.cpp - the settings dialog's procedure.
 */
#include "ui/settings_dialog.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "plugin/external_decoder.h"
#include "base/module_state.h"
#include "resources/resource.h"
#include "settings/settings.h"

namespace {

/* The record of the open dialog: ConfigurationDlg's, for the dialog's life. */
PluginSettings *g_record = nullptr;

/* The mask edit is read into a buffer of this size (259 characters). */
constexpr int kMaskReadBuffer = 260;
/* The edge fields' range in registry mode. */
constexpr int kEdgeLower = 0;
constexpr int kEdgeUpper = 100;

struct ListEntry {
  const char *text;
  int32_t value;
};
const ListEntry kDctEntries[] = {{"int(default)", 0}, {"fast", 1}, {"float", 2}};
const ListEntry kPreviewEntries[] = {{"auto", 0}, {"1/4(default)", 4}, {"1/8", 8}};

/* The plain check boxes and the flags they show. */
struct FlagBox {
  int id;
  int32_t PluginSettings::*field;
};
const FlagBox kFlagBoxes[] = {
    {IDC_USER_EXTENSION, &PluginSettings::UserDefineExtention},
    {IDC_EXIF, &PluginSettings::ExifSupport},
    {IDC_SEARCH_MARKER, &PluginSettings::SearchMarkerSupport},
    {IDC_IGNORE_ASPECT, &PluginSettings::IgnorePixelAspectRatio},
    {IDC_REPORT_DIALOG, &PluginSettings::ReportDialog},
    {IDC_INTERNAL_DECODER, &PluginSettings::UseInternalDecoder},
    {IDC_J6I, &PluginSettings::J6ISupport},
    {IDC_PMP, &PluginSettings::PMPSupport},
    {IDC_ROTATION, &PluginSettings::Rotation},
    {IDC_COLOR_CORRECT, &PluginSettings::ColorCorrect},
};

/* The edge fields: edit, its up-down (registry layouts only), value. */
struct EdgeField {
  int edit;
  int spin;
  int32_t PluginSettings::*field;
};
const EdgeField kEdges[] = {
    {IDC_LEFT, IDC_LEFT_SPIN, &PluginSettings::Left},
    {IDC_RIGHT, IDC_RIGHT_SPIN, &PluginSettings::Right},
    {IDC_TOP, IDC_TOP_SPIN, &PluginSettings::Top},
    {IDC_BOTTOM, IDC_BOTTOM_SPIN, &PluginSettings::Bottom},
};

/* Browse: the one filter, the titles by host language. */
constexpr char kPluginFilter[] = "Orvid Jpeg Plug-in\0QUOREL*.MQF\0";
constexpr char kBrowseTitle[] = "Specify JPEG Plug-in";
constexpr char kBrowseTitleJapanese[] = "JPEG Plug-in\202\360\216\167\222\350";
constexpr DWORD kBrowseFlags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
                               OFN_FILEMUSTEXIST | OFN_NONETWORKBUTTON;
/* The request record without the Windows 2000 fields: 76 bytes on the host. */
constexpr DWORD kOpenFileRecordSize = offsetof(OPENFILENAMEA, pvReserved);
static_assert(sizeof(void *) != 4 || kOpenFileRecordSize == 76, "the 76-byte request record");

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void Enable(HWND dialog, int id, bool enable) { EnableWindow(GetDlgItem(dialog, id), enable); }

void FillList(HWND dialog, int id, const ListEntry (&entries)[3]) {
  for (const ListEntry &entry : entries) {
    LRESULT index =
        SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.text));
    SendDlgItemMessageA(dialog, id, CB_SETITEMDATA, static_cast<WPARAM>(index), entry.value);
  }
}

void Select(HWND dialog, int id, int position) {
  SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

/* Item value of the selected entry; CB_ERR without a selection. */
LRESULT SelectedValue(HWND dialog, int id) {
  LRESULT selected = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
  if (selected == CB_ERR) return CB_ERR;
  return SendDlgItemMessageA(dialog, id, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0);
}

/* An edge value as its edit shows it when the dialog opens (registry
 * layouts), so that OK can tell whether the user changed it. */
void EdgeText(int32_t value, char *text, size_t size) {
  std::snprintf(text, size, "%ld", static_cast<long>(value));
}

void ShowEdges(HWND dialog, const PluginSettings &settings) {
  for (const EdgeField &edge : kEdges) {
    int32_t value = settings.*edge.field;
    if (!UsesRegistry()) {
      SetDlgItemInt(dialog, edge.edit, static_cast<UINT>(value), FALSE);
      continue;
    }
    SendDlgItemMessageA(dialog, edge.spin, UDM_SETPOS, 0, MAKELPARAM(value, 0));
    SendDlgItemMessageA(dialog, edge.spin, UDM_SETRANGE, 0, MAKELPARAM(kEdgeUpper, kEdgeLower));
    if (value < kEdgeLower || value > kEdgeUpper) {
      /* The control cannot hold it; the edit shows the stored number
       * instead, and OK keeps it unless the user changes the field. */
      char text[16];
      EdgeText(value, text, sizeof text);
      SetDlgItemTextA(dialog, edge.edit, text);
    }
  }
}

/* A field the user left as it was shown keeps the stored value, even one
 * outside the up-down's range; a changed one takes the up-down's position. */
int32_t ReadEdge(HWND dialog, const EdgeField &edge, int32_t stored) {
  if (!UsesRegistry())
    return static_cast<int32_t>(GetDlgItemInt(dialog, edge.edit, nullptr, FALSE));
  char shown[16], now[16];
  EdgeText(stored, shown, sizeof shown);
  GetDlgItemTextA(dialog, edge.edit, now, sizeof now);
  if (std::strcmp(shown, now) == 0) return stored;
  return LOWORD(SendDlgItemMessageA(dialog, edge.spin, UDM_GETPOS, 0, 0));
}

void ShowSettings(HWND dialog, const PluginSettings &settings) {
  for (const FlagBox &box : kFlagBoxes)
    CheckDlgButton(dialog, box.id, settings.*box.field ? BST_CHECKED : BST_UNCHECKED);
  SetDlgItemTextA(dialog, IDC_EXTENSION_MASK, settings.ExtentionMask);
  /* A stored method outside 0..2 leaves the list without a selection. */
  FillList(dialog, IDC_DCT_METHOD, kDctEntries);
  Select(dialog, IDC_DCT_METHOD, settings.DCTMethod);
  FillList(dialog, IDC_PREVIEW_SIZE, kPreviewEntries);
  Select(dialog, IDC_PREVIEW_SIZE,
         settings.PreviewSize == 0   ? 0
         : settings.PreviewSize == 8 ? 2
                                     : 1);
  CheckDlgButton(dialog, IDC_ASPECT,
                 settings.AspectX != settings.AspectY ? BST_CHECKED : BST_UNCHECKED);
  ShowEdges(dialog, settings);
}

/* Copies the mask edit into the record: leading blanks dropped, cut to the
 * field's 255 characters. */
void ReadMask(HWND dialog, PluginSettings *settings) {
  char text[kMaskReadBuffer];
  GetDlgItemTextA(dialog, IDC_EXTENSION_MASK, text, sizeof text);
  const char *mask = SkipBlanks(text);
  size_t length = std::strlen(mask);
  if (length > sizeof settings->ExtentionMask - 1) length = sizeof settings->ExtentionMask - 1;
  std::memcpy(settings->ExtentionMask, mask, length);
  settings->ExtentionMask[length] = 0;
}

void ReadSettings(HWND dialog, PluginSettings *settings) {
  /* Without its box (the INI layouts have no internal-decoder box) a flag
   * reads as 0. */
  for (const FlagBox &box : kFlagBoxes) settings->*box.field = IsChecked(dialog, box.id) ? 1 : 0;
  ReadMask(dialog, settings);

  LRESULT method = SelectedValue(dialog, IDC_DCT_METHOD);
  if (method != CB_ERR) settings->DCTMethod = static_cast<int32_t>(method);
  LRESULT preview = SelectedValue(dialog, IDC_PREVIEW_SIZE);
  settings->PreviewSize = preview == 0 || preview == 8 ? static_cast<int32_t>(preview) : 4;

  /* Toggling the box sets 6:5 or 1:1; otherwise any stored ratio stays. */
  bool corrected = IsChecked(dialog, IDC_ASPECT);
  if (corrected != (settings->AspectX != settings->AspectY)) {
    settings->AspectX = corrected ? 6 : 1;
    settings->AspectY = corrected ? 5 : 1;
  }
  for (const EdgeField &edge : kEdges)
    settings->*edge.field = ReadEdge(dialog, edge, settings->*edge.field);
}

/* The file dialog writes the picked path into the record; Cancel leaves it. */
void BrowseForPlugin(HWND dialog) {
  char file[sizeof g_record->JPEGPlugin];
  std::memcpy(file, g_record->JPEGPlugin, sizeof file);
  OPENFILENAMEA request;
  std::memset(&request, 0, sizeof request);
  request.lStructSize = kOpenFileRecordSize;
  request.hwndOwner = dialog;
  request.lpstrFilter = kPluginFilter;
  request.nFilterIndex = 1;
  request.lpstrFile = file;
  request.nMaxFile = sizeof file;
  request.lpstrTitle = IsHostJapanese() ? kBrowseTitleJapanese : kBrowseTitle;
  request.Flags = kBrowseFlags;
  /* A failure (a path too long for the buffer among them) may leave the
   * buffer changed: only a picked file reaches the record. */
  if (GetOpenFileNameA(&request)) std::memcpy(g_record->JPEGPlugin, file, sizeof file);
}

}  // namespace

void UpdateSettingsControls(HWND dialog) {
  Enable(dialog, IDC_EXTENSION_MASK, IsChecked(dialog, IDC_USER_EXTENSION));
  bool j6i = IsChecked(dialog, IDC_J6I);
  for (int id : {IDC_ASPECT, IDC_LEFT, IDC_RIGHT, IDC_TOP, IDC_BOTTOM}) Enable(dialog, id, j6i);
  bool pmp = IsChecked(dialog, IDC_PMP);
  for (int id : {IDC_ROTATION, IDC_COLOR_CORRECT}) Enable(dialog, id, pmp);
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    g_record = reinterpret_cast<PluginSettings *>(lParam);
    ShowSettings(dialog, *g_record);
    UpdateSettingsControls(dialog);
    SetFocus(GetDlgItem(dialog, IDOK));
    return FALSE; /* the focus is set */
  }
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK:
      ReadSettings(dialog, g_record);
      SwitchExternalDecoder(g_record->JPEGPlugin);
      SaveSettings(ModuleInstance(), g_record);
      EndDialog(dialog, 1);
      return TRUE;
    case IDCANCEL: /* also Esc and the close box */
      EndDialog(dialog, 2);
      return TRUE;
    case IDC_BROWSE:
      BrowseForPlugin(dialog);
      return TRUE;
    case IDC_USER_EXTENSION:
    case IDC_J6I:
    case IDC_PMP:
      UpdateSettingsControls(dialog);
      return TRUE;
  }
  return FALSE;
}
