/* The dialog model: templates, the user's actions, control messages,
 * geometry, focus and ownership, and the file-open dialog. */
#include <cstring>
#include <functional>

#include "standin_test.h"

namespace {

enum {
  kMain = 200,    /* controls of every kind */
  kPlain = 201,   /* no system menu, no Cancel button */
  kUnknown = 202, /* a control of a class nobody registered */
  kCentred = 203,
  kBox = 301,
  kText,
  kList,
  kBuddy,
  kSpinWrap,
  kNumber,
  kSpinStop,
  kTriple,
  kReadOnly,
  kLabel,
  kGreyed
};

const DWORD kPopup = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
const DWORD kChild = WS_CHILD | WS_VISIBLE;
const DWORD kSpin = kChild | UDS_SETBUDDYINT | UDS_AUTOBUDDY | UDS_ALIGNRIGHT | UDS_ARROWKEYS;

}  // namespace

extern "C" __attribute__((used)) const StandinDialogEntry StandinDialogTable[] = {
    {StandinDialogExBegin, kMain, "Main", nullptr, kPopup, 0, 10, 20, 200, 100, 8, "MS Sans Serif"},
    {StandinDialogControl, kLabel, "Label", "Static", kChild, 0, 4, 4, 40, 8, 0, nullptr},
    {StandinDialogControl, IDOK, "OK", "Button", kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 10, 80,
     50, 14, 0, nullptr},
    {StandinDialogControl, IDCANCEL, "Cancel", "button", kChild | WS_TABSTOP, 0, 70, 80, 50, 14, 0,
     nullptr},
    {StandinDialogControl, kBox, "Box", "Button", kChild | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 4, 14,
     60, 10, 0, nullptr},
    {StandinDialogControl, kText, "", "Edit", kChild | WS_TABSTOP | ES_AUTOHSCROLL, 0, 4, 26, 60,
     12, 0, nullptr},
    {StandinDialogControl, kList, "", "ComboBox", kChild | WS_TABSTOP | CBS_DROPDOWNLIST, 0, 70, 14,
     40, 50, 0, nullptr},
    {StandinDialogControl, kBuddy, "", "Edit", kChild | WS_TABSTOP, 0, 4, 40, 28, 14, 0, nullptr},
    {StandinDialogControl, kSpinWrap, "", UPDOWN_CLASSA, kSpin | UDS_WRAP, 0, 32, 40, 9, 14, 0,
     nullptr},
    {StandinDialogControl, kNumber, "", "Edit", kChild | WS_TABSTOP, 0, 50, 40, 28, 14, 0, nullptr},
    {StandinDialogControl, kSpinStop, "", UPDOWN_CLASSA, kSpin, 0, 78, 40, 9, 14, 0, nullptr},
    {StandinDialogControl, kTriple, "Three", "Button", kChild | BS_AUTO3STATE, 0, 4, 56, 40, 10, 0,
     nullptr},
    {StandinDialogControl, kReadOnly, "fixed", "Edit", kChild | ES_MULTILINE | ES_READONLY, 0, 50,
     56, 40, 20, 0, nullptr},
    {StandinDialogControl, kGreyed, "Greyed", "Button", kChild | WS_DISABLED, 0, 130, 80, 50, 14, 0,
     nullptr},
    {StandinDialogEnd, 0, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr},
    {StandinDialogBegin, kPlain, "Plain", nullptr, DS_MODALFRAME | WS_POPUP | WS_CAPTION, 0, 0, 0,
     100, 40, 8, "MS Sans Serif"},
    {StandinDialogControl, IDOK, "OK", "Button", kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 20, 20,
     40, 14, 0, nullptr},
    {StandinDialogEnd, 0, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr},
    {StandinDialogBegin, kUnknown, "Unknown", nullptr, kPopup, 0, 0, 0, 100, 40, 8,
     "MS Sans Serif"},
    {StandinDialogControl, 1, "", "NoSuchClass", kChild, 0, 0, 0, 10, 10, 0, nullptr},
    {StandinDialogEnd, 0, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr},
    {StandinDialogBegin, kCentred, "Centred", nullptr, kPopup | DS_CENTER, 0, 0, 0, 101, 41, 8,
     "MS Sans Serif"},
    {StandinDialogControl, 1, "", UPDOWN_CLASSA, kChild, 0, 0, 0, 10, 10, 0, nullptr},
    {StandinDialogEnd, 0, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr},
    {StandinTableEnd, 0, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr},
};

namespace {

/* What the test dialog procedure saw, and how it answers. */
struct Recorder {
  std::vector<std::string> log; /* "init", "command ID CODE", "scroll POS", "close" */
  WPARAM initFocus = 0;
  LPARAM initParam = 0;
  INT_PTR initAnswer = TRUE;
  bool endInInit = false;
  bool handleClose = false;
  std::function<void(HWND)> script;
};
Recorder *g_rec = nullptr;

INT_PTR CALLBACK TestProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      g_rec->log.push_back("init");
      g_rec->initFocus = wParam;
      g_rec->initParam = lParam;
      if (g_rec->endInInit) EndDialog(dialog, 7);
      return g_rec->initAnswer;
    case WM_COMMAND:
      g_rec->log.push_back("command " + std::to_string(LOWORD(wParam)) + " " +
                           std::to_string(HIWORD(wParam)));
      if (lParam != reinterpret_cast<LPARAM>(GetDlgItem(dialog, LOWORD(wParam))))
        g_rec->log.push_back("wrong sender");
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
        EndDialog(dialog, 100 + LOWORD(wParam));
      return TRUE;
    case WM_VSCROLL:
      g_rec->log.push_back("scroll " + std::to_string(static_cast<SHORT>(HIWORD(wParam))));
      return TRUE;
    case WM_CLOSE:
      g_rec->log.push_back("close");
      return g_rec->handleClose;
  }
  return FALSE;
}

class DialogTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    StandinResetDialogs();
    g_rec = &rec_;
    StandinSetDialogScript(
        [](HWND dialog, void *) {
          if (g_rec->script) g_rec->script(dialog);
        },
        nullptr);
  }
  void TearDown() override {
    StandinResetDialogs();
    g_rec = nullptr;
    StandinTest::TearDown();
  }

  INT_PTR Run(int id, std::function<void(HWND)> script, HWND owner = nullptr, LPARAM param = 0) {
    rec_.log.clear();
    rec_.script = std::move(script);
    return DialogBoxParamA(StandinSelfModule(), MAKEINTRESOURCEA(id), owner, TestProc, param);
  }

  /* The log less the initialisation and what SetUp-style calls produced. */
  std::vector<std::string> Commands() const {
    std::vector<std::string> out(rec_.log.begin() + (rec_.log.empty() ? 0 : 1), rec_.log.end());
    return out;
  }

  static std::string Text(HWND dialog, int id) {
    char buf[256];
    GetDlgItemTextA(dialog, id, buf, sizeof buf);
    return buf;
  }

  Recorder rec_;
};

using Log = std::vector<std::string>;

TEST_F(DialogTest, RunsInitialisationThenScriptAndReturnsTheEndResult) {
  long created = StandinDialogsCreated();
  HWND seen = nullptr, ok = nullptr;
  INT_PTR result = Run(
      kMain,
      [&](HWND dialog) {
        seen = dialog;
        ok = GetDlgItem(dialog, IDOK);
        EXPECT_EQ(rec_.initFocus, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDOK)));
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDOK)); /* initialisation answered TRUE */
        EXPECT_EQ(Text(dialog, kLabel), "Label");
        char caption[16];
        EXPECT_EQ(GetWindowTextA(dialog, caption, sizeof caption), 4);
        EXPECT_STREQ(caption, "Main");
        EXPECT_TRUE(StandinClick(dialog, IDOK));
        EXPECT_FALSE(StandinClick(dialog, IDCANCEL)); /* it has ended */
      },
      nullptr, 1234);
  EXPECT_EQ(result, 101);
  EXPECT_EQ(rec_.initParam, 1234);
  EXPECT_EQ(rec_.log, (Log{"init", "command 1 0"}));
  EXPECT_EQ(StandinDialogsCreated(), created + 1);
  EXPECT_EQ(StandinLastDialogRequest(), kMain);
  EXPECT_EQ(StandinLastDialog(), seen);
  EXPECT_FALSE(IsWindow(seen));
  StandinDialogState state;
  ASSERT_TRUE(StandinGetDialogState(seen, &state)); /* still readable after the end */
  EXPECT_EQ(state.templateId, kMain);
  EXPECT_TRUE(state.ended);
  EXPECT_EQ(state.result, 101);
  EXPECT_EQ(state.focus, ok); /* clicked last */
  EXPECT_EQ(StandinGetControlText(seen, kLabel, nullptr, 0), 5);
}

TEST_F(DialogTest, InitialisationAnswerAndEarlyEnd) {
  rec_.initAnswer = FALSE;
  Run(kMain, [&](HWND dialog) {
    EXPECT_EQ(GetFocus(), nullptr); /* FALSE: the procedure places the focus */
    EndDialog(dialog, 3);
  });
  rec_.initAnswer = TRUE;
  rec_.endInInit = true;
  bool scripted = false;
  EXPECT_EQ(Run(kMain, [&](HWND) { scripted = true; }), 7);
  EXPECT_FALSE(scripted);
  rec_.endInInit = false;
  EXPECT_EQ(Run(kMain, [](HWND) {}), -1); /* left open by the script */
}

TEST_F(DialogTest, CreationFailures) {
  HMODULE plain = LoadLibraryA(STANDIN_TESTMOD_DIR "/standin_testmod_plain.dll");
  ASSERT_NE(plain, nullptr);
  HWND host = StandinCreateHostWindow(0, 0, 100, 100);
  HWND gone = StandinCreateHostWindow(0, 0, 100, 100);
  StandinDestroyHostWindow(gone);
  struct Case {
    const char *what;
    HMODULE module;
    int id;
    HWND owner;
    std::function<void()> setUp;
    INT_PTR result;
    DWORD error;
  };
  const Case cases[] = {
      {"no such template", StandinSelfModule(), 999, nullptr, [] {}, -1,
       ERROR_RESOURCE_NAME_NOT_FOUND},
      {"module without templates", plain, kMain, nullptr, [] {}, -1, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {"unknown class", StandinSelfModule(), kUnknown, nullptr, [] {}, -1,
       ERROR_CANNOT_FIND_WND_CLASS},
      {"up-down class not registered", StandinSelfModule(), kCentred, host,
       [] { StandinSetUpDownClassRegistered(0); }, -1, ERROR_CANNOT_FIND_WND_CLASS},
      {"creation made to fail", StandinSelfModule(), kMain, nullptr,
       [] { StandinFailDialogCreation(1); }, -1, ERROR_NOT_ENOUGH_MEMORY},
      {"owner destroyed", StandinSelfModule(), kMain, gone, [] {}, 0, ERROR_INVALID_WINDOW_HANDLE},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    StandinResetDialogs();
    c.setUp();
    long created = StandinDialogsCreated();
    SetLastError(0);
    INT_PTR result = DialogBoxParamA(c.module, MAKEINTRESOURCEA(c.id), c.owner, TestProc, 0);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(c.error));
    EXPECT_EQ(StandinDialogsCreated(), created);
    EXPECT_EQ(StandinLastDialogRequest(), c.id);
    EXPECT_TRUE(IsWindowEnabled(host));
  }
  StandinDestroyHostWindow(host);
  FreeLibrary(plain);
}

TEST_F(DialogTest, ButtonsAndCheckBoxes) {
  Run(kMain, [&](HWND dialog) {
    const struct {
      int id;
      int states[3]; /* after each of three clicks */
    } clicks[] = {
        {kBox, {BST_CHECKED, BST_UNCHECKED, BST_CHECKED}},
        {kTriple, {BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}},
    };
    for (const auto &c : clicks) {
      for (int state : c.states) {
        EXPECT_TRUE(StandinClick(dialog, c.id));
        EXPECT_EQ(IsDlgButtonChecked(dialog, c.id), static_cast<UINT>(state)) << c.id;
      }
    }
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, kTriple));
    EXPECT_FALSE(StandinClick(dialog, kGreyed)); /* disabled */
    EXPECT_FALSE(StandinClick(dialog, kText));   /* not a button */
    EXPECT_FALSE(StandinClick(dialog, 4242));
    /* A two-state box shows an indeterminate state as checked; push buttons
     * have none. */
    EXPECT_TRUE(CheckDlgButton(dialog, kBox, BST_INDETERMINATE));
    EXPECT_EQ(IsDlgButtonChecked(dialog, kBox), static_cast<UINT>(BST_CHECKED));
    CheckDlgButton(dialog, IDCANCEL, BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDCANCEL), 0u);
    EXPECT_FALSE(CheckDlgButton(dialog, 4242, BST_CHECKED));
    EndDialog(dialog, 0);
  });
  std::string box = "command " + std::to_string(kBox) + " 0";
  std::string triple = "command " + std::to_string(kTriple) + " 0";
  EXPECT_EQ(Commands(), (Log{box, box, box, triple, triple, triple}));
}

TEST_F(DialogTest, KeysAndCloseBox) {
  struct Case {
    const char *what;
    int id;
    std::function<void(HWND)> act;
    bool handleClose;
    Log log;
    INT_PTR result;
  };
  const Case cases[] = {
      {"Esc",
       kMain,
       [](HWND d) { EXPECT_TRUE(StandinPressEscape(d)); },
       false,
       {"command 2 0"},
       102},
      {"Enter: default button",
       kMain,
       [](HWND d) {
         SetFocus(GetDlgItem(d, kText));
         EXPECT_TRUE(StandinPressEnter(d));
       },
       false,
       {"command 1 0"},
       101},
      {"Enter: focused push button",
       kMain,
       [](HWND d) {
         SetFocus(GetDlgItem(d, IDCANCEL));
         EXPECT_TRUE(StandinPressEnter(d));
       },
       false,
       {"command 2 0"},
       102},
      {"close box left to the default",
       kMain,
       [](HWND d) { EXPECT_TRUE(StandinPressCloseBox(d)); },
       false,
       {"close", "command 2 0"},
       102},
      {"close box handled",
       kMain,
       [](HWND d) {
         EXPECT_TRUE(StandinPressCloseBox(d));
         EndDialog(d, 5);
       },
       true,
       {"close"},
       5},
      {"close box, Cancel disabled",
       kMain,
       [](HWND d) {
         EnableWindow(GetDlgItem(d, IDCANCEL), FALSE);
         EXPECT_TRUE(StandinPressCloseBox(d));
         EndDialog(d, 5);
       },
       false,
       {"close"},
       5},
      {"no close box without system menu",
       kPlain,
       [](HWND d) {
         EXPECT_FALSE(StandinPressCloseBox(d));
         EXPECT_TRUE(StandinPressEscape(d)); /* Esc still sends IDCANCEL */
       },
       false,
       {"command 2 0"},
       102},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    rec_.handleClose = c.handleClose;
    EXPECT_EQ(Run(c.id, c.act), c.result);
    EXPECT_EQ(Commands(), c.log);
  }
}

TEST_F(DialogTest, EditsAndNumbers) {
  Run(kMain, [&](HWND dialog) {
    std::string change = "command " + std::to_string(kText) + " " + std::to_string(EN_CHANGE);
    EXPECT_TRUE(SetDlgItemTextA(dialog, kText, "set"));  /* single-line: EN_CHANGE */
    SetDlgItemTextA(dialog, kReadOnly, "multi\r\nline"); /* multi-line: none */
    EXPECT_EQ(Commands(), Log{change});
    SendDlgItemMessageA(dialog, kText, EM_LIMITTEXT, 5, 0);
    EXPECT_TRUE(StandinType(dialog, kText, "typed too long"));
    EXPECT_EQ(Text(dialog, kText), "typed");
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, kText));
    EXPECT_FALSE(StandinType(dialog, kReadOnly, "x"));
    EXPECT_EQ(Text(dialog, kReadOnly), "multi\r\nline");
    char small[4];
    EXPECT_EQ(GetDlgItemTextA(dialog, kText, small, sizeof small), 3u);
    EXPECT_STREQ(small, "typ");
    EXPECT_EQ(GetDlgItemTextA(dialog, 4242, small, sizeof small), 0u);
    EXPECT_STREQ(small, "");

    const struct {
      const char *text;
      BOOL isSigned;
      UINT value;
      BOOL ok;
    } numbers[] = {
        {"42", FALSE, 42, TRUE},
        {"  17 ", FALSE, 17, TRUE},
        {"-5", TRUE, 0u - 5u, TRUE},
        {"-5", FALSE, 0, FALSE},
        {"12ab", FALSE, 0, FALSE},
        {"", FALSE, 0, FALSE},
        {"4294967295", FALSE, 4294967295u, TRUE},
        {"4294967296", FALSE, 0, FALSE},
        {"2147483648", TRUE, 0, FALSE},
        {"-2147483648", TRUE, 0x80000000u, TRUE},
    };
    for (const auto &n : numbers) {
      SetDlgItemTextA(dialog, kText, n.text);
      BOOL ok = -1;
      EXPECT_EQ(GetDlgItemInt(dialog, kText, &ok, n.isSigned), n.value) << n.text;
      EXPECT_EQ(ok, n.ok) << n.text;
    }
    SetDlgItemInt(dialog, kText, static_cast<UINT>(-3), TRUE);
    EXPECT_EQ(Text(dialog, kText), "-3");
    SetDlgItemInt(dialog, kText, static_cast<UINT>(-3), FALSE);
    EXPECT_EQ(Text(dialog, kText), "4294967293");
    EndDialog(dialog, 0);
  });
}

TEST_F(DialogTest, ComboBoxes) {
  Run(kMain, [&](HWND dialog) {
    for (const char *entry : {"int(default)", "fast", "float"}) {
      LRESULT at =
          SendDlgItemMessageA(dialog, kList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
      SendDlgItemMessageA(dialog, kList, CB_SETITEMDATA, static_cast<WPARAM>(at), 10 + at);
    }
    EXPECT_EQ(SendDlgItemMessageA(dialog, kList, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendDlgItemMessageA(dialog, kList, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(Text(dialog, kList), "");
    EXPECT_EQ(SendDlgItemMessageA(dialog, kList, CB_SETCURSEL, 2, 0), 2);
    EXPECT_EQ(Text(dialog, kList), "float");
    EXPECT_EQ(SendDlgItemMessageA(dialog, kList, CB_GETITEMDATA, 2, 0), 12);
    EXPECT_EQ(SendDlgItemMessageA(dialog, kList, CB_GETITEMDATA, 3, 0), CB_ERR);
    EXPECT_EQ(SendDlgItemMessageA(dialog, kList, CB_SETCURSEL, 3, 0), CB_ERR); /* clears */
    EXPECT_EQ(SendDlgItemMessageA(dialog, kList, CB_GETCURSEL, 0, 0), CB_ERR);
    char entry[32];
    EXPECT_EQ(SendDlgItemMessageA(dialog, kList, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(entry)),
              4);
    EXPECT_STREQ(entry, "fast");
    EXPECT_FALSE(StandinSelect(dialog, kList, 3));
    EXPECT_TRUE(StandinSelect(dialog, kList, 1));
    EXPECT_EQ(SendDlgItemMessageA(dialog, kList, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(Text(dialog, kList), "fast");
    EXPECT_EQ(Commands(),
              Log{"command " + std::to_string(kList) + " " + std::to_string(CBN_SELCHANGE)});
    EndDialog(dialog, 0);
  });
}

TEST_F(DialogTest, UpDownControls) {
  Run(kMain, [&](HWND dialog) {
    StandinControlState s;
    ASSERT_TRUE(StandinGetControlState(dialog, kSpinWrap, &s));
    EXPECT_EQ(s.buddy, GetDlgItem(dialog, kBuddy)); /* the control before it */
    EXPECT_EQ(SendDlgItemMessageA(dialog, kSpinWrap, UDM_GETRANGE, 0, 0), MAKELONG(0, 100));
    /* Position first, then range, as a dialog may do: the position is
     * clamped to the range then in force. */
    SendDlgItemMessageA(dialog, kSpinWrap, UDM_SETPOS, 0, MAKELPARAM(150, 0));
    EXPECT_EQ(Text(dialog, kBuddy), "100");
    SendDlgItemMessageA(dialog, kSpinWrap, UDM_SETRANGE, 0, MAKELPARAM(100, 0));
    SendDlgItemMessageA(dialog, kSpinStop, UDM_SETRANGE, 0, MAKELPARAM(2000, 0));
    SendDlgItemMessageA(dialog, kSpinStop, UDM_SETPOS, 0, MAKELPARAM(1999, 0));
    EXPECT_EQ(Text(dialog, kNumber), "1,999");
    rec_.log = {"init"};

    const struct {
      int id;
      int up;
      const char *typed; /* into the buddy first, or nullptr */
      const char *shown;
      int position;
    } presses[] = {
        {kSpinWrap, 1, nullptr, "0", 0},     /* wraps at the upper end */
        {kSpinWrap, 0, nullptr, "100", 100}, /* and at the lower */
        {kSpinWrap, 1, "41", "42", 42},      /* goes on from the typed number */
        {kSpinWrap, 1, "junk", "43", 43},    /* a typed non-number is ignored */
        {kSpinStop, 1, nullptr, "2,000", 2000},
        {kSpinStop, 1, nullptr, "2,000", 2000}, /* stops at the end */
    };
    for (const auto &p : presses) {
      int buddy = p.id == kSpinWrap ? kBuddy : kNumber;
      if (p.typed) StandinType(dialog, buddy, p.typed);
      EXPECT_TRUE(StandinSpin(dialog, p.id, p.up));
      EXPECT_EQ(Text(dialog, buddy), p.shown);
      EXPECT_EQ(LOWORD(SendDlgItemMessageA(dialog, p.id, UDM_GETPOS, 0, 0)), p.position);
    }
    std::string buddyChange = "command " + std::to_string(kBuddy) + " " + std::to_string(EN_CHANGE);
    std::string numberChange =
        "command " + std::to_string(kNumber) + " " + std::to_string(EN_CHANGE);
    EXPECT_EQ(Commands(), (Log{buddyChange, "scroll 0", buddyChange, "scroll 100", buddyChange,
                               buddyChange, "scroll 42", buddyChange, buddyChange, "scroll 43",
                               numberChange, "scroll 2000"}));

    /* UDM_GETPOS reads the buddy: a text out of range or not a number sets
     * the high word and keeps the position. */
    StandinType(dialog, kBuddy, "77");
    EXPECT_EQ(SendDlgItemMessageA(dialog, kSpinWrap, UDM_GETPOS, 0, 0), MAKELONG(77, 0));
    StandinType(dialog, kBuddy, "101");
    EXPECT_EQ(SendDlgItemMessageA(dialog, kSpinWrap, UDM_GETPOS, 0, 0), MAKELONG(77, 1));
    /* A disabled buddy does not stop the arrows. */
    EnableWindow(GetDlgItem(dialog, kBuddy), FALSE);
    EXPECT_TRUE(StandinSpin(dialog, kSpinWrap, 0));
    EXPECT_EQ(Text(dialog, kBuddy), "76");
    EnableWindow(GetDlgItem(dialog, kSpinWrap), FALSE);
    EXPECT_FALSE(StandinSpin(dialog, kSpinWrap, 0));
    EndDialog(dialog, 0);
  });
}

TEST_F(DialogTest, Geometry) {
  /* kMain: 200 x 100 units at 10, 20 -> client 300 x 163, window 306 x 188,
   * placed at 15, 33 from the owner's corner. */
  struct Case {
    const char *what;
    int id;
    RECT owner; /* left == -1: no owner */
    int desktopW, desktopH;
    RECT expected;
  };
  const Case cases[] = {
      {"no owner", kMain, {-1, 0, 0, 0}, 1024, 768, {15, 33, 321, 221}},
      {"owner", kMain, {100, 50, 600, 400}, 1024, 768, {115, 83, 421, 271}},
      {"kept on the desktop", kMain, {900, 700, 1000, 760}, 1024, 768, {718, 580, 1024, 768}},
      /* 101 x 41 units: 152 + 6 by 67 + 25; odd margins round down */
      {"DS_CENTER", kCentred, {-1, 0, 0, 0}, 1025, 768, {433, 338, 591, 430}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    StandinSetDesktopSize(c.desktopW, c.desktopH);
    HWND owner = c.owner.left < 0 ? nullptr
                                  : StandinCreateHostWindow(c.owner.left, c.owner.top,
                                                            c.owner.right, c.owner.bottom);
    Run(
        c.id,
        [&](HWND dialog) {
          RECT r;
          ASSERT_TRUE(GetWindowRect(dialog, &r));
          EXPECT_EQ(r.left, c.expected.left);
          EXPECT_EQ(r.top, c.expected.top);
          EXPECT_EQ(r.right, c.expected.right);
          EXPECT_EQ(r.bottom, c.expected.bottom);
          EXPECT_EQ(GetParent(dialog), owner);
          if (owner) {
            EXPECT_FALSE(IsWindowEnabled(owner)); /* modal */
          }
          EndDialog(dialog, 0);
          if (owner) {
            EXPECT_TRUE(IsWindowEnabled(owner));
          }
        },
        owner);
    if (owner) StandinDestroyHostWindow(owner);
  }
  StandinSetDesktopSize(1024, 768);
  RECT desktop;
  GetWindowRect(GetDesktopWindow(), &desktop);
  EXPECT_EQ(desktop.right, 1024);
  EXPECT_EQ(desktop.bottom, 768);

  Run(kMain, [&](HWND dialog) {
    /* OK at 10, 80, 50 x 14 units in the client area at 18, 55. */
    RECT ok;
    GetWindowRect(GetDlgItem(dialog, IDOK), &ok);
    EXPECT_EQ(ok.left, 33);
    EXPECT_EQ(ok.top, 185);
    EXPECT_EQ(ok.right - ok.left, 75);
    EXPECT_EQ(ok.bottom - ok.top, 23);
    MoveWindow(dialog, 5, 6, 306, 188, FALSE);
    SetWindowPos(dialog, nullptr, 7, 8, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(dialog, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    EndDialog(dialog, 0);
  });
  StandinDialogState state;
  ASSERT_TRUE(StandinGetDialogState(StandinLastDialog(), &state));
  EXPECT_EQ(state.rect.left, 7);
  EXPECT_EQ(state.rect.top, 8);
  EXPECT_EQ(state.rect.right, 7 + 306); /* SWP_NOSIZE kept the size */
  EXPECT_EQ(state.moves, 2);
  EXPECT_EQ(state.repaints, 1);
}

TEST_F(DialogTest, FocusForegroundAndEnabledState) {
  HWND host = StandinCreateHostWindow(0, 0, 10, 10);
  SetFocus(host);
  SetForegroundWindow(host);
  HWND dialog = nullptr;
  Run(kMain, [&](HWND d) {
    dialog = d;
    EXPECT_EQ(GetForegroundWindow(), host); /* only asked for, never taken */
    EXPECT_TRUE(SetForegroundWindow(GetDlgItem(d, kText)));
    EXPECT_EQ(GetForegroundWindow(), d);
    HWND box = GetDlgItem(d, kBox);
    EXPECT_EQ(SetFocus(box), GetDlgItem(d, IDOK));
    EXPECT_FALSE(EnableWindow(box, FALSE)); /* was enabled */
    EXPECT_EQ(GetFocus(), nullptr);         /* a disabled window loses the focus */
    EXPECT_TRUE(EnableWindow(box, FALSE));
    EXPECT_FALSE(IsWindowEnabled(box));
    EXPECT_EQ(GetParent(box), d);
    EXPECT_EQ(GetDlgCtrlID(box), kBox);
    SetFocus(GetDlgItem(d, IDCANCEL));
    EndDialog(d, 0);
  });
  EXPECT_EQ(GetFocus(), host); /* given back */
  EXPECT_EQ(GetForegroundWindow(), host);
  StandinDialogState state;
  StandinControlState box;
  ASSERT_TRUE(StandinGetDialogState(dialog, &state));
  EXPECT_TRUE(state.foreground);
  EXPECT_EQ(GetDlgCtrlID(state.focus), 0); /* a destroyed control */
  ASSERT_TRUE(StandinGetControlState(dialog, kBox, &box));
  EXPECT_FALSE(box.enabled);
  EXPECT_EQ(GetDlgItem(dialog, kBox), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  SetFocus(nullptr);
  StandinDestroyHostWindow(host);
  EXPECT_EQ(GetForegroundWindow(), nullptr);
}

TEST_F(DialogTest, OpenFileDialog) {
  struct Answer {
    const char *path;
    OPENFILENAMEA seen;
    bool ownerEnabled;
  } answer = {nullptr, {}, true};
  StandinSetOpenFileScript(
      [](const OPENFILENAMEA *request, void *context) -> const char * {
        auto *a = static_cast<Answer *>(context);
        a->seen = *request;
        a->ownerEnabled = request->hwndOwner && IsWindowEnabled(request->hwndOwner);
        return a->path;
      },
      &answer);
  HWND owner = StandinCreateHostWindow(0, 0, 10, 10);
  char file[16] = "quorel.mqf";
  char title[8];
  OPENFILENAMEA request = {};
  request.lStructSize = 76;
  request.hwndOwner = owner;
  request.lpstrFilter = "Plug-in\0QUOREL*.MQF\0";
  request.lpstrFile = file;
  request.nMaxFile = sizeof file;
  request.lpstrFileTitle = title;
  request.nMaxFileTitle = sizeof title;
  request.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST;

  long shown = StandinOpenFileDialogsShown();
  EXPECT_FALSE(GetOpenFileNameA(&request)); /* cancelled */
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  EXPECT_STREQ(file, "quorel.mqf");
  EXPECT_STREQ(answer.seen.lpstrFile, "quorel.mqf");
  EXPECT_EQ(answer.seen.Flags, request.Flags);
  EXPECT_FALSE(answer.ownerEnabled);
  EXPECT_TRUE(IsWindowEnabled(owner));

  answer.path = "C:\\p\\new.mqf";
  EXPECT_TRUE(GetOpenFileNameA(&request));
  EXPECT_STREQ(file, "C:\\p\\new.mqf");
  EXPECT_EQ(request.nFileOffset, 5);
  EXPECT_EQ(request.nFileExtension, 9);
  EXPECT_STREQ(title, "new.mqf");

  answer.path = "C:\\much\\too\\long.mqf";
  EXPECT_FALSE(GetOpenFileNameA(&request));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
  WORD needed;
  std::memcpy(&needed, file, sizeof needed);
  EXPECT_EQ(needed, 21);
  EXPECT_EQ(StandinOpenFileDialogsShown(), shown + 3);

  for (DWORD size : {0u, 75u, 88u}) {
    request.lStructSize = size;
    EXPECT_FALSE(GetOpenFileNameA(&request)) << size;
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
  }
  for (DWORD size : {static_cast<DWORD>(OPENFILENAME_SIZE_VERSION_400A),
                     static_cast<DWORD>(sizeof(OPENFILENAMEA))}) {
    request.lStructSize = size;
    EXPECT_FALSE(GetOpenFileNameA(&request)); /* accepted, then too small again */
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
  }
  EXPECT_EQ(StandinOpenFileDialogsShown(), shown + 5);
  StandinDestroyHostWindow(owner);
}

}  // namespace
