/*
 * prompt_window.cpp - the broken-file prompt as Windows shows it (Windows
 * build only; run by prompt_window.sh under Wine on a private X display in
 * a Japanese locale, so that the ANSI code page is 932).
 *
 * Each case opens the real prompt; a second thread finds it, reads it back
 * with Win32 calls and answers like a user: buttons, the check box, Esc, the
 * close box. Given a folder, the program also has the runner take a
 * screenshot of each language's prompt: it writes NAME.ready there (the
 * dialog's rectangle: left top width height) and waits for NAME.done.
 */
#include <cstring>
#include <string>

#include "plugin/broken_file_prompt.h"
#include "attach.h"
#include "harness.h"
#include "resources/resource.h"
#include "screenshot.h"
#include "store.h"

namespace {

const char kMainKey[] = "Software\\Doru\\movrela";

struct Language {
  const char *name;
  int japanese; /* the viewer's Resource\Japanese value */
  const char *yes, *no, *box, *message, *font;
};
const Language kLanguages[] = {
    {"en", 0, "Yes(&Y)", "No(&N)", "Already checked.",
     "This JPEG file is broken. \r\nDo you display the result to a midway? ", "MS Sans Serif"},
    {"ja", 1, "\x82\xcd\x82\xa2(&Y)", "\x82\xa2\x82\xa2\x82\xa6(&N)",
     "\x8f\xed\x82\xc9\x8a\x6d\x94\x46\x82\xb7\x82\xe9",
     "\x82\xb1\x82\xcc"
     "JPEG"
     "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcd\x94\x6a\x91\xb9\x82\xb5"
     "\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81\x42\r\n\x93\x72\x92\x86\x82\xdc\x82\xc5\x82\xcc\x8c\x8b"
     "\x89\xca\x82\xf0\x95\x5c\x8e\xa6\x82\xb5\x82\xdc\x82\xb7\x82\xa9?\x81\x42",
     "\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e"},
};

/* Under Wine without a window manager: windows the program draws whole,
 * caption included, and that close without waiting for a manager that never
 * answers. Read by Wine's display driver when the first window opens. */
const bool kUnmanagedWindows = [] {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER,
                      "Software\\Wine\\AppDefaults\\prompt_window.exe\\X11 Driver", 0, nullptr, 0,
                      KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE *>("N"), 2);
  RegCloseKey(key);
  return true;
}();

/* What the user does once the prompt is read. */
typedef void (*UserFn)(HWND dialog);

/* The second thread's job, and what it saw. */
struct Watch {
  DWORD promptThread;
  UserFn user;
  std::string screenshot; /* name, or empty */
  bool found;
  std::string title, yes, no, box, message, font;
  UINT checked;
  RECT window, desktop;
  bool focusOnYes, foreground;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  char cls[16];
  if (GetClassNameA(window, cls, sizeof cls) && std::strcmp(cls, "#32770") == 0) {
    *reinterpret_cast<HWND *>(found) = window;
    return FALSE;
  }
  return TRUE;
}

std::string ItemText(HWND dialog, int id) {
  char text[512];
  UINT n = GetDlgItemTextA(dialog, id, text, sizeof text);
  return std::string(text, n);
}

/* Hands the dialog's rectangle to the runner and waits for its picture. */
void TakeScreenshot(const std::string &name, const RECT &r) {
  std::string folder = suite::Current().argument;
  if (folder.empty() || name.empty()) return;
  std::string base = folder + "\\" + name;
  suite::HandOverScreenshot(base, r);
}

DWORD WINAPI Watcher(LPVOID context) {
  Watch *w = static_cast<Watch *>(context);
  HWND dialog = nullptr;
  for (int i = 0; i < 200 && !(dialog && IsWindowVisible(dialog)); ++i) {
    Sleep(50);
    dialog = nullptr;
    EnumThreadWindows(w->promptThread, FindDialog, reinterpret_cast<LPARAM>(&dialog));
  }
  if (!dialog) return 0;
  w->found = true;
  char title[128];
  GetWindowTextA(dialog, title, sizeof title);
  w->title = title;
  w->yes = ItemText(dialog, IDOK);
  w->no = ItemText(dialog, IDCANCEL);
  w->box = ItemText(dialog, IDC_BROKEN_FILE_WARN);
  w->message = ItemText(dialog, IDC_BROKEN_FILE_TEXT);
  w->checked = IsDlgButtonChecked(dialog, IDC_BROKEN_FILE_WARN);
  GetWindowRect(dialog, &w->window);
  GetWindowRect(GetDesktopWindow(), &w->desktop);
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof gui;
  w->focusOnYes =
      GetGUIThreadInfo(w->promptThread, &gui) && gui.hwndFocus == GetDlgItem(dialog, IDOK);
  w->foreground = GetForegroundWindow() == dialog;
  LOGFONTA font;
  HFONT handle = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
  if (handle && GetObjectA(handle, sizeof font, &font)) w->font = font.lfFaceName;
  if (!w->screenshot.empty()) {
    Sleep(500); /* let it paint */
    TakeScreenshot(w->screenshot, w->window);
  }
  w->user(dialog);
  return 0;
}

/* Opens the prompt with the host in `language`; returns its answer. */
int Prompt(const Language &language, UserFn user, Watch *w, const char *screenshot = "") {
  suite::AttachOnce();
  store::SetNumber("Software\\Merovane\\Orvid\\Resource", "Japanese", language.japanese);
  *w = Watch();
  w->promptThread = GetCurrentThreadId();
  w->user = user;
  w->screenshot = screenshot;
  HANDLE thread = CreateThread(nullptr, 0, Watcher, w, 0, nullptr);
  int answer = BrokenFilePrompt();
  WaitForSingleObject(thread, 60000);
  CloseHandle(thread);
  if (!w->found)
    suite::Report(__FILE__, __LINE__, std::string(language.name) + ": prompt not found");
  return answer;
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
void Yes(HWND dialog) { Click(dialog, IDOK); }
void No(HWND dialog) { Click(dialog, IDCANCEL); }
void ClearThenYes(HWND dialog) {
  Click(dialog, IDC_BROKEN_FILE_WARN);
  Click(dialog, IDOK);
}
void ClearThenNo(HWND dialog) {
  Click(dialog, IDC_BROKEN_FILE_WARN);
  Click(dialog, IDCANCEL);
}
/* Keys go to the focused control; the dialog's message loop acts on them. */
void Escape(HWND dialog) {
  PostMessageA(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
}
void CloseBox(HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

std::string StoredReportDialog() {
  DWORD type = 0;
  std::string bytes;
  if (!store::Get(kMainKey, "ReportDialog", &type, &bytes)) return "<none>";
  return std::to_string(type) + ":" + suite::Bytes(bytes.data(), bytes.size());
}

#define CHECK_BYTES(actual, expected)                      \
  CHECK_EQ(suite::Bytes((actual).data(), (actual).size()), \
           suite::Bytes(expected, std::strlen(expected)))

SUITE_CASE(runs_in_the_japanese_code_page) { CHECK_EQ(static_cast<long long>(GetACP()), 932LL); }

SUITE_CASE(each_language_reads_back_centred_and_yes_keeps_the_warning) {
  for (const Language &l : kLanguages) {
    Watch w;
    std::string shot = std::string("prompt-") + l.name;
    CHECK_EQ(Prompt(l, Yes, &w, shot.c_str()), 1);
    CHECK_EQ(w.title, std::string("Halvenstrom JPEG Plug-in"));
    CHECK_BYTES(w.yes, l.yes);
    CHECK_BYTES(w.no, l.no);
    CHECK_BYTES(w.box, l.box);
    CHECK_BYTES(w.message, l.message);
    CHECK_BYTES(w.font, l.font);
    CHECK_EQ(w.checked, static_cast<UINT>(BST_CHECKED));
    LONG width = w.window.right - w.window.left, height = w.window.bottom - w.window.top;
    CHECK_EQ(w.window.left, (w.desktop.right - w.desktop.left - width) / 2);
    CHECK_EQ(w.window.top, (w.desktop.bottom - w.desktop.top - height) / 2);
    CHECK(w.focusOnYes);
    CHECK(w.foreground);
    CHECK_EQ(StoredReportDialog(), std::string("<none>"));
  }
}

SUITE_CASE(cleared_box_stores_report_dialog_0_on_yes_and_no) {
  const struct {
    UserFn user;
    int answer;
  } cases[] = {{ClearThenYes, 1}, {ClearThenNo, 2}};
  for (const Language &l : kLanguages) {
    for (const auto &c : cases) {
      suite::ResetStore();
      Watch w;
      CHECK_EQ(Prompt(l, c.user, &w), c.answer);
      CHECK_EQ(StoredReportDialog(), std::string("4:\\x00\\x00\\x00\\x00"));
    }
  }
}

SUITE_CASE(no_esc_and_close_box_answer_no_and_store_nothing) {
  const UserFn users[] = {No, Escape, CloseBox};
  for (const Language &l : kLanguages) {
    for (UserFn user : users) {
      Watch w;
      CHECK_EQ(Prompt(l, user, &w), 2);
    }
  }
  CHECK_EQ(StoredReportDialog(), std::string("<none>"));
}

}  // namespace

SUITE_MAIN()
