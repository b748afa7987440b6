/*
 * ui_window.cpp - the configuration dialogs as Windows shows them (Windows
 * build only; run by ui_window.sh under Wine on a private X display).
 *
 *   ui_window.exe ARTEFACTS PLUGIN QUOREL_FOLDER
 *
 * The built plug-in opens its dialogs through ConfigurationDlg, owned by a
 * window standing in for the viewer; a second thread finds each dialog,
 * reads it back with Win32 calls, checks its layout with the dialog's real
 * font, and plays the user. The store is read afterwards. Every case runs
 * for an English and then for a Japanese host, in the Japanese code page
 * (932). One run covers one settings backend: INI mode when Wine reports
 * the Win32s platform; cases named reg_ or ini_ run with that backend only.
 * For every template opened the runner takes a screenshot: the program
 * writes ui-ID.ready into ARTEFACTS (left top width height) and waits for
 * ui-ID.done.
 */
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "described_dialogs.h"
#include "harness.h"
#include "resources/resource.h"
#include "screenshot.h"
#include "store.h"

namespace {

const char kMain[] = "Software\\Doru\\movrela";
const char kJ6i[] = "Software\\Doru\\movrela\\J6I";
const char kIniFile[] = "quorelv6.ini";

typedef int32_t(WINAPI *ConfigurationDlgFn)(HWND, int32_t);

struct Run {
  bool japanese, registry;
  HMODULE plugin;
  ConfigurationDlgFn configure;
  std::string quorelFolder;
  HWND viewer;
} g;

/* Windows drawn whole by Wine, caption included, without a window manager. */
const bool kUnmanagedWindows = [] {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string key = std::string("Software\\Wine\\AppDefaults\\") +
                    (std::strrchr(path, '\\') ? std::strrchr(path, '\\') + 1 : path) +
                    "\\X11 Driver";
  return store::SetRaw(key.c_str(), "Managed", REG_SZ, "N", 2);
}();

/* ---- the store, in either backend ---- */

std::string IniPath(const char *file) {
  char folder[MAX_PATH];
  GetWindowsDirectoryA(folder, sizeof folder);
  return std::string(folder) + "\\" + file;
}

/* Every case starts without settings, with the viewer in the language of
 * the pass. */
void Fresh() {
  DeleteFileA(IniPath(kIniFile).c_str());
  DeleteFileA(IniPath("orvid.ini").c_str());
  if (g.registry)
    store::SetNumber("Software\\Merovane\\Orvid\\Resource", "Japanese", g.japanese);
  else
    WritePrivateProfileStringA("Resource", "Japanese", g.japanese ? "1" : "0", "orvid.ini");
}

void Put(const char *group, const char *name, int32_t value) {
  if (g.registry)
    store::SetNumber(group, name, value);
  else
    WritePrivateProfileStringA(group, name, std::to_string(value).c_str(), kIniFile);
}

/* A stored value as text; "<none>" when missing. */
std::string Value(const char *group, const char *name) {
  if (!g.registry) {
    char text[1024];
    GetPrivateProfileStringA(group, name, "<none>", text, sizeof text, kIniFile);
    return text;
  }
  DWORD type = 0;
  std::string bytes;
  if (!store::Get(group, name, &type, &bytes)) return "<none>";
  if (type != REG_DWORD) return bytes.substr(0, bytes.find('\0'));
  int32_t number;
  std::memcpy(&number, bytes.data(), 4);
  return std::to_string(number);
}

bool NothingSaved() {
  return !store::KeyExists("Software\\Doru") &&
         GetFileAttributesA(IniPath(kIniFile).c_str()) == INVALID_FILE_ATTRIBUTES;
}

/* ---- dialogs ---- */

struct Found {
  HWND except, window;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM context) {
  Found *found = reinterpret_cast<Found *>(context);
  char cls[16];
  if (window == found->except || !IsWindowVisible(window) ||
      !GetClassNameA(window, cls, sizeof cls) || std::strcmp(cls, "#32770") != 0)
    return TRUE;
  found->window = window;
  return FALSE;
}

/* A visible dialog of the main thread other than `except`; waits up to 10 s
 * when asked. */
HWND WaitForDialog(DWORD thread, HWND except, int tries = 500) {
  Found found = {except, nullptr};
  for (int i = 0; i < tries && !found.window; ++i) {
    EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&found));
    if (!found.window && tries > 1) Sleep(20);
  }
  return found.window;
}

struct Session {
  DWORD thread;
  std::function<void(HWND)> user;
  bool found;
};

DWORD WINAPI Watcher(LPVOID context) {
  Session *s = static_cast<Session *>(context);
  HWND dialog = WaitForDialog(s->thread, nullptr);
  s->found = dialog != nullptr;
  if (dialog) s->user(dialog);
  return 0;
}

/* Calls ConfigurationDlg while `user` handles the dialog it opens. */
int32_t Configure(int32_t function, std::function<void(HWND)> user) {
  Session s = {GetCurrentThreadId(), std::move(user), false};
  HANDLE thread = CreateThread(nullptr, 0, Watcher, &s, 0, nullptr);
  int32_t result = g.configure(g.viewer, function);
  WaitForSingleObject(thread, 30000);
  CloseHandle(thread);
  if (!s.found) suite::Report(__FILE__, __LINE__, "no dialog for " + std::to_string(function));
  return result;
}

std::string Text(HWND window) {
  char text[512];
  int n = GetWindowTextA(window, text, sizeof text);
  return std::string(text, static_cast<size_t>(std::max(n, 0)));
}
std::string Text(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }
bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void Pick(HWND dialog, int id, int index) {
  HWND list = GetDlgItem(dialog, id);
  SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

/* An arrow key pressed in an edit whose up-down follows the keys. */
void Key(HWND dialog, int id, WPARAM key) {
  HWND edit = GetDlgItem(dialog, id);
  SendMessageA(edit, WM_KEYDOWN, key, 1);
  SendMessageA(edit, WM_KEYUP, key, 0xC0000001);
}

/* Hands the window's rectangle to the runner and waits for its picture. */
void Screenshot(HWND window, int templateId) {
  const std::string &folder = suite::Current().argument;
  std::string base = folder + "\\ui-" + std::to_string(templateId);
  RECT r;
  GetWindowRect(window, &r);
  Sleep(300); /* let it paint */
  suite::HandOverScreenshot(base, r);
}

/* Texts that do not fit their controls, controls that overlap, cross a
 * group box's edge or leave the dialog, measured with the dialog's font. */
std::string LayoutProblems(HWND dialog) {
  struct Item {
    HWND window, buddy;
    RECT rect;
    bool group;
  };
  std::vector<Item> items;
  std::string problems;
  HDC dc = GetDC(dialog);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(dialog, WM_GETFONT, 0, 0)));
  RECT client;
  GetClientRect(dialog, &client);
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    char cls[32];
    GetClassNameA(c, cls, sizeof cls);
    LONG style = GetWindowLongA(c, GWL_STYLE);
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&r), 2);
    std::string name = std::to_string(static_cast<short>(GetDlgCtrlID(c))) + " " + Text(c);
    bool button = lstrcmpiA(cls, "Button") == 0, combo = lstrcmpiA(cls, "ComboBox") == 0;
    bool group = button && (style & BS_TYPEMASK) == BS_GROUPBOX;
    bool box = button && (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
    std::vector<std::wstring> texts;
    wchar_t text[512];
    if (combo) {
      for (LRESULT i = 0, n = SendMessageW(c, CB_GETCOUNT, 0, 0); i < n; ++i)
        if (SendMessageW(c, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text)) >= 0)
          texts.push_back(text);
    } else if (button || lstrcmpiA(cls, "Static") == 0) {
      GetWindowTextW(c, text, 512);
      texts.push_back(text);
    }
    /* Room the control keeps for itself: the box, the arrow, the frame. */
    LONG extra = box      ? GetSystemMetrics(SM_CXMENUCHECK) + 4
                 : combo  ? GetSystemMetrics(SM_CXVSCROLL) + 8
                 : group  ? 16
                 : button ? 8
                          : 0;
    for (const std::wstring &t : texts) {
      SIZE size;
      GetTextExtentPoint32W(dc, t.c_str(), static_cast<int>(t.size()), &size);
      if (size.cx + extra > r.right - r.left || (!group && !combo && size.cy > r.bottom - r.top))
        problems += "[" + name + ": text needs " + std::to_string(size.cx + extra) + "x" +
                    std::to_string(size.cy) + "] ";
    }
    RECT inside;
    if (!IntersectRect(&inside, &r, &client) || !EqualRect(&inside, &r))
      problems += "[" + name + ": outside the dialog] ";
    /* An up-down sits on the edge of the edit it is attached to. */
    HWND buddy = lstrcmpiA(cls, UPDOWN_CLASSA) == 0
                     ? reinterpret_cast<HWND>(SendMessageA(c, UDM_GETBUDDY, 0, 0))
                     : nullptr;
    items.push_back({c, buddy, r, group});
  }
  SelectObject(dc, old);
  ReleaseDC(dialog, dc);
  for (size_t i = 0; i < items.size(); ++i) {
    for (size_t j = i + 1; j < items.size(); ++j) {
      const Item &a = items[i], &b = items[j];
      RECT both, joined;
      if (!IntersectRect(&both, &a.rect, &b.rect)) continue;
      UnionRect(&joined, &a.rect, &b.rect);
      /* A group box may hold a control whole; nothing else may meet. */
      bool nested =
          (a.group && EqualRect(&joined, &a.rect)) || (b.group && EqualRect(&joined, &b.rect));
      if (!nested && a.buddy != b.window && b.buddy != a.window)
        problems += "[" + Text(a.window) + "/" + Text(b.window) + ": overlap] ";
    }
  }
  return problems;
}

/* The dialog is the template `id` as described: caption, font, size, and
 * its controls in tab order with their ids, classes and fixed texts. */
void CheckTemplate(HWND dialog, int id) {
  const Described *d = kDescribed;
  const Described *end = kDescribed + sizeof kDescribed / sizeof kDescribed[0];
  while (d != end && !(d->dialog && d->id == id)) ++d;
  if (d == end) return suite::Report(__FILE__, __LINE__, "template not described");
  std::string where = "template " + std::to_string(id);
  CHECK_EQ(Text(dialog), std::string(d->text));
  LOGFONTA font;
  HFONT handle = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
  CHECK(handle && GetObjectA(handle, sizeof font, &font) &&
        std::string(font.lfFaceName) == d->font);
  RECT expected = {0, 0, d->cx, d->cy}, client;
  MapDialogRect(dialog, &expected);
  GetClientRect(dialog, &client);
  CHECK(EqualRect(&expected, &client));
  HWND c = GetWindow(dialog, GW_CHILD);
  for (++d; d != end && !d->dialog; ++d, c = c ? GetWindow(c, GW_HWNDNEXT) : nullptr) {
    char cls[32] = "";
    if (c) GetClassNameA(c, cls, sizeof cls);
    bool filledIn = d->id == IDC_ABOUT_VERSION || lstrcmpiA(d->cls, "Edit") == 0 ||
                    lstrcmpiA(d->cls, "ComboBox") == 0;
    if (!c || static_cast<short>(GetDlgCtrlID(c)) != d->id || lstrcmpiA(cls, d->cls) != 0 ||
        (!filledIn && Text(c) != d->text))
      suite::Report(__FILE__, __LINE__, where + ": control " + std::to_string(d->id) + " differs");
  }
  CHECK(c == nullptr);
}

/* ---- cases ---- */

SUITE_CASE(templates_open_as_described_fit_their_texts_and_close_as_told) {
  Fresh();
  for (int function : {0, 1}) {
    int id =
        function == 0 ? IDD_ABOUT + g.japanese : IDD_SETTINGS + g.japanese + (g.registry ? 0 : 2);
    bool escClosed = false, disabledViewer = false;
    HWND owner = nullptr;
    std::string layout;
    CHECK_EQ(Configure(function,
                       [&](HWND dialog) {
                         Screenshot(dialog, id);
                         CheckTemplate(dialog, id);
                         layout = LayoutProblems(dialog);
                         owner = GetWindow(dialog, GW_OWNER);
                         disabledViewer = !IsWindowEnabled(g.viewer);
                         if (function == 1) return Click(dialog, IDCANCEL);
                         CHECK_EQ(Text(dialog, IDC_ABOUT_VERSION),
                                  std::string("Ver 0.04(Base on quorelv6.mqf v0.11)"));
                         GUITHREADINFO gui = {};
                         gui.cbSize = sizeof gui;
                         CHECK(GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui) &&
                               gui.hwndFocus == GetDlgItem(dialog, IDOK));
                         /* Keys go to the focused OK button; the dialog's loop acts on them. */
                         PostMessageA(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                         Sleep(300);
                         escClosed = !IsWindowVisible(dialog);
                         PostMessageA(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_RETURN, 0x001C0001);
                         for (int i = 0; i < 500 && IsWindow(dialog); ++i) Sleep(20);
                         CHECK(!IsWindow(dialog));
                       }),
             0);
    /* 110's rectangles are prescribed, and in MS Sans Serif the DCT label
     * wraps, both lists cut their longest entry and Browse touches the
     * marker box; the screenshot shows it. */
    if (id != IDD_SETTINGS) CHECK_EQ(layout, std::string());
    CHECK(owner == g.viewer && disabledViewer);
    CHECK(!escClosed);
  }
  CHECK(NothingSaved());
}

SUITE_CASE(other_function_numbers_answer_not_implemented_and_open_nothing) {
  for (int32_t function : {2, -1}) {
    CHECK_EQ(g.configure(g.viewer, function), -1);
    CHECK(WaitForDialog(GetCurrentThreadId(), nullptr, 1) == nullptr);
  }
}

SUITE_CASE(aspect_4_3_stays_until_the_box_is_cleared_then_checked) {
  Fresh();
  Put(kJ6i, "AspectX", 4);
  Put(kJ6i, "AspectY", 3);
  const struct {
    bool shown, toggle;
    const char *x, *y;
  } sessions[] = {{true, false, "4", "3"}, {true, true, "1", "1"}, {false, true, "6", "5"}};
  for (const auto &s : sessions) {
    CHECK_EQ(Configure(1,
                       [&](HWND dialog) {
                         CHECK_EQ(Checked(dialog, IDC_ASPECT), s.shown);
                         if (s.toggle) Click(dialog, IDC_ASPECT);
                         Click(dialog, IDOK);
                       }),
             0);
    CHECK_EQ(Value(kJ6i, "AspectX") + ":" + Value(kJ6i, "AspectY"), std::string(s.x) + ":" + s.y);
  }
}

SUITE_CASE(lists_show_the_stored_entry_and_store_the_chosen_value) {
  Fresh();
  Put(kMain, "PreviewSize", 4);
  Put(kMain, "DCTMethod", 2);
  const struct {
    const char *dctShown, *previewShown;
    int dctPick, previewPick;
    const char *dct, *preview;
  } sessions[] = {{"float", "1/4(default)", 1, 0, "1", "0"}, {"fast", "auto", -1, -1, "1", "0"}};
  for (const auto &s : sessions) {
    Configure(1, [&](HWND dialog) {
      CHECK_EQ(Text(dialog, IDC_DCT_METHOD), std::string(s.dctShown));
      CHECK_EQ(Text(dialog, IDC_PREVIEW_SIZE), std::string(s.previewShown));
      if (s.dctPick >= 0) Pick(dialog, IDC_DCT_METHOD, s.dctPick);
      if (s.previewPick >= 0) Pick(dialog, IDC_PREVIEW_SIZE, s.previewPick);
      Click(dialog, IDOK);
    });
    CHECK_EQ(Value(kMain, "DCTMethod"), std::string(s.dct));
    CHECK_EQ(Value(kMain, "PreviewSize"), std::string(s.preview));
  }
}

SUITE_CASE(greyed_j6i_fields_are_saved_unchanged) {
  Fresh();
  Put(kJ6i, "J6ISupport", 0);
  Put(kJ6i, "AspectX", 4);
  Put(kJ6i, "AspectY", 3);
  const struct {
    int edit;
    const char *name;
    int32_t value;
  } edges[] = {{IDC_LEFT, "Left", 3},
               {IDC_RIGHT, "Right", 150},
               {IDC_TOP, "Top", 0},
               {IDC_BOTTOM, "Bottom", 100}};
  for (const auto &e : edges) Put(kJ6i, e.name, e.value);
  Configure(1, [&](HWND dialog) {
    CHECK(!Enabled(dialog, IDC_ASPECT) && Checked(dialog, IDC_ASPECT));
    for (const auto &e : edges) {
      CHECK(!Enabled(dialog, e.edit));
      CHECK_EQ(Text(dialog, e.edit), std::to_string(e.value));
    }
    /* The up-downs are not greyed with their edits. */
    if (g.registry)
      for (int spin : {IDC_LEFT_SPIN, IDC_RIGHT_SPIN, IDC_TOP_SPIN, IDC_BOTTOM_SPIN})
        CHECK(Enabled(dialog, spin));
    Click(dialog, IDOK);
  });
  CHECK_EQ(Value(kJ6i, "J6ISupport") + Value(kJ6i, "AspectX") + Value(kJ6i, "AspectY"),
           std::string("043"));
  for (const auto &e : edges) CHECK_EQ(Value(kJ6i, e.name), std::to_string(e.value));
}

SUITE_CASE(reg_edge_arrow_keys_wrap_and_an_unshowable_value_stays) {
  Fresh();
  Put(kJ6i, "Top", 0);
  Put(kJ6i, "Bottom", 100);
  Put(kJ6i, "Left", 150);
  Configure(1, [&](HWND dialog) {
    CHECK_EQ(Text(dialog, IDC_LEFT), std::string("150"));
    Key(dialog, IDC_TOP, VK_DOWN);
    Key(dialog, IDC_BOTTOM, VK_UP);
    CHECK_EQ(Text(dialog, IDC_TOP) + " " + Text(dialog, IDC_BOTTOM), std::string("100 0"));
    Click(dialog, IDOK);
  });
  CHECK_EQ(Value(kJ6i, "Top") + " " + Value(kJ6i, "Bottom") + " " + Value(kJ6i, "Left"),
           std::string("100 0 150"));
}

SUITE_CASE(mask_is_stored_without_leading_blanks) {
  Fresh();
  Configure(1, [&](HWND dialog) {
    CHECK(!Enabled(dialog, IDC_EXTENSION_MASK));
    Click(dialog, IDC_USER_EXTENSION);
    SetDlgItemTextA(dialog, IDC_EXTENSION_MASK, "  \t*.JPE; *.JFIF");
    Click(dialog, IDOK);
  });
  CHECK_EQ(Value(kMain, "UserDefineExtention"), std::string("1"));
  CHECK_EQ(Value(kMain, "ExtentionMask"), std::string("*.JPE; *.JFIF"));
}

SUITE_CASE(ini_mode_stores_0_for_the_internal_decoder_and_leaves_the_registry) {
  Fresh();
  Put(kMain, "UseInternalDecoder", 1);
  Configure(1, [&](HWND dialog) {
    CHECK(GetDlgItem(dialog, IDC_INTERNAL_DECODER) == nullptr);
    Click(dialog, IDOK);
  });
  CHECK_EQ(Value(kMain, "UseInternalDecoder"), std::string("0"));
  CHECK_EQ(Value(kJ6i, "AspectX"), std::string("6"));
  CHECK(!store::KeyExists("Software\\Doru"));
}

/* Browse in the settings dialog: the file dialog's title and file name are
 * read, `path` is typed in and confirmed, then `button` ends the settings. */
void BrowseThen(HWND dialog, const std::string &path, int button, std::string *title,
                std::string *shownFile) {
  PostMessageA(GetDlgItem(dialog, IDC_BROWSE), BM_CLICK, 0, 0);
  HWND files = WaitForDialog(GetWindowThreadProcessId(dialog, nullptr), dialog);
  if (!files) return suite::Report(__FILE__, __LINE__, "no file dialog");
  /* The file name field: a combo box in the Explorer-style dialog that Wine
   * shows, an edit in the older one. */
  HWND name = GetDlgItem(files, 0x47C);
  if (!name || !IsWindowVisible(name)) name = GetDlgItem(files, 0x480);
  *title = Text(files);
  *shownFile = Text(name);
  SetWindowTextA(name, path.c_str());
  PostMessageA(GetDlgItem(files, IDOK), BM_CLICK, 0, 0);
  for (int i = 0; i < 250 && IsWindow(files); ++i) Sleep(20);
  if (IsWindow(files)) return suite::Report(__FILE__, __LINE__, "file dialog still open");
  Click(dialog, button);
}

SUITE_CASE(reg_browse_then_cancel_keeps_all_and_ok_switches_the_plugin) {
  Fresh();
  const char *folderKey = "Software\\Merovane\\Orvid\\Plug-in";
  store::SetText(folderKey, "path", g.quorelFolder.c_str(), true);
  /* OK on the defaults loads quorel.mqf from the viewer's plug-in folder. */
  Configure(1, [](HWND dialog) { Click(dialog, IDOK); });
  CHECK(GetModuleHandleA("quorel.mqf") != nullptr);
  suite::ResetStore();
  Fresh();
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string other = std::string(temp) + "QUOREL2.MQF";
  CHECK(CopyFileA((g.quorelFolder + "\\quorel.mqf").c_str(), other.c_str(), FALSE));
  const char *title = g.japanese ? "JPEG Plug-in\x82\xf0\x8e\x77\x92\xe8" : "Specify JPEG Plug-in";
  for (int button : {IDCANCEL, IDOK}) {
    std::string seenTitle, seenFile;
    CHECK_EQ(Configure(1, [&](HWND d) { BrowseThen(d, other, button, &seenTitle, &seenFile); }), 0);
    CHECK_EQ(seenTitle, std::string(title));
    CHECK_EQ(seenFile, std::string("quorel.mqf"));
    bool ok = button == IDOK;
    CHECK_EQ(GetModuleHandleA("quorel.mqf") != nullptr, !ok);
    CHECK_EQ(GetModuleHandleA("QUOREL2.MQF") != nullptr, ok);
    if (!ok) CHECK(NothingSaved());
    if (ok) CHECK_EQ(lstrcmpiA(Value(kMain, "JPEGPlug-in").c_str(), other.c_str()), 0);
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    std::printf("usage: ui_window ARTEFACTS PLUGIN QUOREL_FOLDER\n");
    return 2;
  }
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  g.registry = GetVersionExA(&version) && version.dwPlatformId != VER_PLATFORM_WIN32s;
  g.quorelFolder = argv[3];
  InitCommonControls(); /* as the viewer does: the up-down class */
  g.plugin = LoadLibraryA(argv[2]);
  g.configure = reinterpret_cast<ConfigurationDlgFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(g.plugin, "ConfigurationDlg")));
  if (!g.configure) {
    std::printf("cannot load %s\n", argv[2]);
    return 1;
  }
  if (GetACP() != 932) {
    std::printf("needs the Japanese code page 932 (LC_ALL=ja_JP.UTF-8)\n");
    return 1;
  }
  /* Hidden: Wine leaves the dialogs of a visible owner unpainted when no
   * window manager runs. */
  g.viewer = CreateWindowExA(0, "STATIC", "viewer", WS_OVERLAPPEDWINDOW, 40, 40, 720, 640, nullptr,
                             nullptr, nullptr, nullptr);
  const char *skipped = g.registry ? "ini_" : "reg_";
  auto &cases = suite::Cases();
  cases.erase(
      std::remove_if(cases.begin(), cases.end(),
                     [&](const suite::Case &c) { return std::strncmp(c.name, skipped, 4) == 0; }),
      cases.end());
  int rc = 0;
  for (bool japanese : {false, true}) {
    g.japanese = japanese;
    std::printf("-- %s host, settings in the %s\n", japanese ? "Japanese" : "English",
                g.registry ? "registry" : "INI file");
    rc |= suite::RunAll(argc, argv);
  }
  suite::ResetStore();
  DeleteFileA(IniPath(kIniFile).c_str());
  DeleteFileA(IniPath("orvid.ini").c_str());
  /* The plug-in holds the copy of quorel.mqf it was switched to. */
  FreeLibrary(g.plugin);
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  DeleteFileA((std::string(temp) + "QUOREL2.MQF").c_str());
  return rc;
}
